// The status menu on a large world (40 devices with 50 apps each by
// default), its catalogue from the real service on a private bus, as the
// application receives it.
//
// 1. Launch to populated menu: a new connector and status menu (the service
//    started afresh by bus activation, the world scanned, the catalogue
//    decoded, the menu built with every icon drawn) until the menu holds its
//    device items.
// 2. Rebuilding the menu for the catalogue it holds (what every update from
//    the service does: the old variable part removed, the Xcodes asked for,
//    every item's lines made, icons from the menu's cache), against building
//    a plain QMenu with the same item texts and icons (taken from the built
//    menu) and removing the previous one, in turns.
// 3. Asking the developer tools for the installed Xcodes alone (programs
//    run): each rebuild asks again, off the main thread, so it is not part
//    of the rebuild's time but shown for comparison.
//
//   menu_bench [--devices 40] [--apps 50] [--runs 7]
//
// MENU_BENCH_PROFILE_REBUILDS=N adds N untimed rebuilds, for a profiler.
#include "benchsupport.h"

#include "tests/support/privatebus.h"
#include "tests/support/testsupport.h"

#include "cataloguemenuaction.h"
#include "statusitemcontroller.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/devtools/developertools.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMenu>

#include <cstdio>
#include <memory>

namespace {

struct PlainItem
{
    QString text;
    QIcon icon;
    bool separator = false;
    bool enabled = true;
    QList<PlainItem> submenu;
};

QList<PlainItem> itemsOf(const QMenu &menu)
{
    QList<PlainItem> items;
    for (QAction *action : menu.actions()) {
        PlainItem item{
            action->text(), action->icon(), action->isSeparator(), action->isEnabled(), {}};
        if (action->menu()) {
            item.submenu = itemsOf(*action->menu());
        }
        items.append(item);
    }
    return items;
}

// Owns its submenus through the parent chain, so deleting the top menu
// removes everything, as the product's rebuild does with its items.
void fill(QMenu &menu, const QList<PlainItem> &items)
{
    for (const PlainItem &item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        if (!item.submenu.isEmpty()) {
            auto *submenu = new QMenu(&menu);
            fill(*submenu, item.submenu);
            QAction *action = menu.addMenu(submenu);
            action->setText(item.text);
            action->setIcon(item.icon);
            continue;
        }
        QAction *action = menu.addAction(item.icon, item.text);
        action->setEnabled(item.enabled);
    }
}

int deviceItems(const QMenu &menu)
{
    int count = 0;
    for (QAction *action : menu.actions()) {
        const auto *item = qobject_cast<CatalogueMenuAction *>(action);
        count += item && item->device() ? 1 : 0;
    }
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const bench::WorldOptions options = bench::parseWorldOptions(parser, application, 7);
    bench::World world(options.devices, options.apps);
    if (!world.isValid()) {
        std::fprintf(stderr, "could not make the world\n");
        return 1;
    }
    testsupport::PrivateBus bus;
    if (!bus.isRunning()) {
        std::fprintf(stderr, "no private bus\n");
        return 1;
    }
    bench::printLoad("at the start");
    StatusItemController::Options menuOptions;
    menuOptions.statusArea = StatusItemController::StatusArea::None;

    std::unique_ptr<ParleyConnector> connector;
    std::unique_ptr<StatusItemController> menu;
    std::vector<bench::Sample> launches;
    for (int run = 0; run < options.runs; ++run) {
        if (connector) {
            menu.reset();
            connector->quit();
            connector.reset();
        }
        bool populated = false;
        launches.push_back(bench::measure([&] {
            connector = std::make_unique<ParleyConnector>(QStringLiteral("Marrowby"), std::nullopt,
                                                          bus.address());
            menu = std::make_unique<StatusItemController>(*connector, menuOptions);
            populated = testsupport::waitFor([&] { return deviceItems(*menu->statusMenu()) > 0; },
                                             std::chrono::seconds(120));
        }));
        if (!populated) {
            std::fprintf(stderr, "the menu was not populated\n");
            return 1;
        }
    }
    const int devices = deviceItems(*menu->statusMenu());
    int apps = 0;
    for (const auto &device : *connector->devices()) {
        apps += int(device->apps().size());
    }
    std::printf("menu: %d device items, %d app items in submenus\n", devices, apps);
    // Sizes are walked in the background after the menu is built; the
    // rebuilds below are measured once they have all arrived, as a menu
    // that has been open once has them.
    const auto sizesKnown = [&] {
        for (const auto &device : *connector->devices()) {
            for (const auto &app : device->apps()) {
                if (!app->cachedBundleSize()) {
                    return false;
                }
            }
        }
        return true;
    };
    const bench::Sample sizes =
        bench::measure([&] { testsupport::waitFor(sizesKnown, std::chrono::seconds(120)); });
    std::printf("every app's size known %.1f ms after the last launch's menu (%s)\n", sizes.wallMs,
                sizesKnown() ? "all" : "not all");
    bench::print("launch to populated menu", launches);

    const QList<PlainItem> plainItems = itemsOf(*menu->statusMenu());
    std::unique_ptr<QMenu> plain = std::make_unique<QMenu>();
    fill(*plain, plainItems);
    std::vector<bench::Sample> rebuilds;
    std::vector<bench::Sample> baselines;
    // The Xcode answer a rebuild asks for in the background is let in
    // before the next rebuild, so each measures the main thread's work alone.
    const auto settle = [&] { testsupport::waitFor([&] { return !menu->isRefreshingXcodes(); }); };
    for (int run = 0; run < options.runs; ++run) {
        settle();
        rebuilds.push_back(bench::measure([&] { menu->populateStatusMenu(); }));
        baselines.push_back(bench::measure([&] {
            plain.reset();
            plain = std::make_unique<QMenu>();
            fill(*plain, plainItems);
        }));
    }
    settle();
    for (int run = 0; run < qEnvironmentVariableIntValue("MENU_BENCH_PROFILE_REBUILDS"); ++run) {
        menu->populateStatusMenu();
        settle();
    }
    std::vector<bench::Sample> xcodes;
    for (int run = 0; run < options.runs; ++run) {
        xcodes.push_back(bench::measure([] { DeveloperTools().installedXcodes(); }));
    }
    bench::print("rebuild of the status menu", rebuilds);
    bench::print("plain QMenu, same texts and icons", baselines);
    bench::print("installed Xcodes (asked in the background)", xcodes);
    std::printf("ratio rebuild / plain menu (median wall): %.2f\n",
                bench::medianWall(rebuilds) / bench::medianWall(baselines));
    std::printf("ratio rebuild / plain menu (median cpu): %.2f\n",
                bench::medianCpu(rebuilds) / bench::medianCpu(baselines));
    bench::printLoad("at the end");
    menu.reset();
    connector->quit();
    return 0;
}
