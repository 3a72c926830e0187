// The status menu against the real service: what it shows before and after
// the first catalogue, how a highlighted item's lines follow the keys held,
// clicks reaching the installed handlers, and drops of image files adding
// photos to the booted device.
#include "menuworld.h"

#include "cataloguemenuaction.h"
#include "devtoolsworld.h"
#include "statusitemcontroller.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/devtools/developertools.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>

using testsupport::waitFor;

namespace {

QStringList menuTexts(const QMenu &menu)
{
    QStringList texts;
    for (QAction *action : menu.actions()) {
        texts.append(action->isSeparator() ? QStringLiteral("---")
                                           : action->text().section(QLatin1Char('\n'), 0, 0));
    }
    return texts;
}

QList<CatalogueMenuAction *> catalogueItems(const QMenu &menu)
{
    QList<CatalogueMenuAction *> items;
    for (QAction *action : menu.actions()) {
        if (auto *item = qobject_cast<CatalogueMenuAction *>(action)) {
            items.append(item);
        }
    }
    return items;
}

QString line(const QAction *item, int index)
{
    return item->text().split(QLatin1Char('\n')).value(index);
}

} // namespace

class StatusMenu : public MenuWorld
{
protected:
    void SetUp() override
    {
        MenuWorld::SetUp();
        m_connector = std::make_unique<ParleyConnector>(QStringLiteral("Marrowby"), std::nullopt,
                                                        m_bus->address());
        StatusItemController::Options options;
        options.statusArea = StatusItemController::StatusArea::None;
        options.keyboardModifiers = [this] { return m_keys; };
        m_controller = std::make_unique<StatusItemController>(*m_connector, options);
        m_controller->alertPresenter = [this](const QString &message) { m_alerts.append(message); };
    }
    void TearDown() override
    {
        m_controller.reset();
        if (m_connector) {
            m_connector->quit();
        }
        m_connector.reset();
        MenuWorld::TearDown();
    }

    bool waitForCatalogue()
    {
        return waitFor([&] { return m_connector->devices().has_value(); },
                       std::chrono::seconds(30));
    }

    CatalogueMenuAction *deviceItem(const QString &name)
    {
        for (CatalogueMenuAction *item : catalogueItems(*m_controller->statusMenu())) {
            if (item->device() && item->device()->name() == name) {
                return item;
            }
        }
        return nullptr;
    }

    std::unique_ptr<ParleyConnector> m_connector;
    std::unique_ptr<StatusItemController> m_controller;
    Qt::KeyboardModifiers m_keys = Qt::NoModifier;
    QStringList m_alerts;
};

TEST_F(StatusMenu, waitsForTheFirstCatalogueThenShowsRecentAppsAndTheSelectedXcodesDevices)
{
    EXPECT_EQ(menuTexts(*m_controller->statusMenu()),
              (QStringList{QStringLiteral("Waiting for Simulators…"), QStringLiteral("---"),
                           QStringLiteral("About Marrowby"), QStringLiteral("Preferences…"),
                           QStringLiteral("---"), QStringLiteral("Quit Marrowby")}));
    ASSERT_TRUE(waitForCatalogue());
    ASSERT_TRUE(waitFor([&] { return !catalogueItems(*m_controller->statusMenu()).isEmpty(); }));
    const QStringList texts = menuTexts(*m_controller->statusMenu());
    EXPECT_FALSE(texts.contains(QStringLiteral("Waiting for Simulators…")));
    ASSERT_EQ(texts.first(), QStringLiteral("Recent Apps"));
    EXPECT_EQ(texts.at(4), QStringLiteral("---"));
    EXPECT_EQ(texts.at(5), QStringLiteral("Simulators [Xcode 8.0]"));
    EXPECT_EQ(texts.mid(texts.size() - 5),
              (QStringList{QStringLiteral("---"), QStringLiteral("About Marrowby"),
                           QStringLiteral("Preferences…"), QStringLiteral("---"),
                           QStringLiteral("Quit Marrowby")}));

    // One item per device of the catalogue, in its order, each with its apps.
    const auto items = catalogueItems(*m_controller->statusMenu());
    QStringList shown;
    QStringList expected;
    for (CatalogueMenuAction *item : items) {
        if (item->device()) {
            shown.append(item->device()->uuid());
            EXPECT_EQ(item->submenu()->actions().size(), item->device()->apps().size());
        }
    }
    for (const auto &device : *m_connector->devices()) {
        expected.append(device->uuid());
    }
    EXPECT_EQ(shown, expected);

    // The recent apps are the three newest of all devices, newest first.
    QList<SimulatorAppPtr> all;
    for (const auto &device : *m_connector->devices()) {
        all.append(device->apps());
    }
    ASSERT_GE(all.size(), 3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(items.at(i)->app());
        for (const auto &other : all) {
            if (other->uuid() != items.at(0)->app()->uuid()) {
                EXPECT_GE(items.at(0)->app()->creationDate(), other->creationDate());
            }
        }
        // A recent app's detail names its device.
        EXPECT_EQ(line(items.at(i), 1),
                  m_connector->deviceNameMap()->value(items.at(i)->app()->device()->uuid()));
    }
    EXPECT_GE(items.at(1)->app()->creationDate(), items.at(2)->app()->creationDate());
}

TEST_F(StatusMenu, theHighlightedItemsLinesFollowTheKeysHeldAndCloseRestoresThem)
{
    ASSERT_TRUE(waitForCatalogue());
    QMenu &menu = *m_controller->statusMenu();
    ASSERT_TRUE(waitFor([&] { return !catalogueItems(menu).isEmpty(); }));
    CatalogueMenuAction *device = nullptr;
    for (CatalogueMenuAction *item : catalogueItems(menu)) {
        if (item->device() && !item->device()->apps().isEmpty()) {
            device = item;
            break;
        }
    }
    ASSERT_NE(device, nullptr);
    QMenu &apps = *device->submenu();
    m_controller->menuWillOpen(&menu);
    m_controller->menuWillOpen(&apps);
    auto *app = qobject_cast<CatalogueMenuAction *>(apps.actions().first());
    ASSERT_NE(app, nullptr);
    // Sizes are computed afresh at opening, in the background.
    EXPECT_EQ(line(app, 2), QStringLiteral("Size: Calculating..."));
    ASSERT_TRUE(waitFor([&] { return !line(app, 2).contains(QStringLiteral("Calculating")); }));

    m_controller->willHighlightItem(app);
    EXPECT_EQ(line(app, 1), QStringLiteral("Reveal in file viewer"));
    m_keys = Qt::AltModifier;
    m_controller->updateModifierFlags();
    EXPECT_EQ(line(app, 1), QStringLiteral("Reset data"));
    EXPECT_EQ(m_controller->action(), MenuItemAction::ResetData);
    m_keys = Qt::MetaModifier;
    m_controller->updateModifierFlags();
    EXPECT_EQ(line(app, 1), QStringLiteral("Uninstall"));
    m_keys = Qt::ControlModifier;
    m_controller->updateModifierFlags();
    EXPECT_EQ(line(app, 1), QStringLiteral("Launch in Simulator"));
    m_keys = Qt::ControlModifier | Qt::ShiftModifier;
    m_controller->updateModifierFlags();
    EXPECT_EQ(line(app, 1), QStringLiteral("Copy path"));
    EXPECT_TRUE(line(app, 2).endsWith(QStringLiteral(" bytes"))) << line(app, 2).toStdString();
    EXPECT_FALSE(line(app, 2).contains(QStringLiteral("KB")));

    // Another highlight puts the previous item back to its default lines.
    m_controller->willHighlightItem(device);
    EXPECT_EQ(line(app, 1), app->app()->bundleIdentifier());
    EXPECT_EQ(line(device, 1), QStringLiteral("Copy path"));
    m_keys = Qt::AltModifier;
    m_controller->updateModifierFlags();
    EXPECT_EQ(line(device, 1), QStringLiteral("Add Photos"));

    m_controller->menuDidClose(&menu);
    EXPECT_EQ(line(device, 1), device->device()->version());
    EXPECT_EQ(m_controller->currentSelectedMenuItem(), nullptr);
}

TEST_F(StatusMenu, aClickRunsTheInstalledHandlerWithTheStoredAction)
{
    ASSERT_TRUE(waitForCatalogue());
    QMenu &menu = *m_controller->statusMenu();
    ASSERT_TRUE(waitFor([&] { return !catalogueItems(menu).isEmpty(); }));
    CatalogueMenuAction *recent = catalogueItems(menu).first();
    ASSERT_TRUE(recent->app());
    // Without handlers a click does nothing (and does not crash).
    m_controller->onItemTriggered(recent);

    QList<std::pair<QString, MenuItemAction>> clicked;
    m_controller->selectedAppClosure = [&](const SimulatorAppPtr &app, MenuItemAction action) {
        clicked.append({app->uuid(), action});
    };
    m_controller->willHighlightItem(recent);
    m_keys = Qt::MetaModifier;
    m_controller->updateModifierFlags();
    m_controller->onItemTriggered(recent);
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_EQ(clicked.first(), std::make_pair(recent->app()->uuid(), MenuItemAction::Uninstall));
    // The item returns to its default lines; the stored action stays.
    EXPECT_EQ(line(recent, 1),
              m_connector->deviceNameMap()->value(recent->app()->device()->uuid()));
    EXPECT_EQ(m_controller->action(), MenuItemAction::Uninstall);
}

TEST_F(StatusMenu, droppedImagesGoToTheFirstBootedDeviceInOrder)
{
    ASSERT_TRUE(waitForCatalogue());
    const SimulatorDevicePtr booted = [&] {
        for (const auto &device : *m_connector->devices()) {
            if (device->booted()) {
                return device;
            }
        }
        return SimulatorDevicePtr();
    }();
    ASSERT_NE(booted, nullptr);
    QList<std::pair<QString, QList<QUrl>>> dropped;
    m_controller->didDropImageClosure = [&](const SimulatorDevicePtr &device,
                                            const QList<QUrl> &urls) {
        dropped.append({device->uuid(), urls});
        for (const QUrl &url : urls) {
            m_connector->addPhoto(url, *device);
        }
    };
    const QList<QUrl> images{QUrl::fromLocalFile(writeImage(QStringLiteral("one.png"))),
                             QUrl::fromLocalFile(writeImage(QStringLiteral("two.png")))};
    const int before = photoCount(*booted);
    EXPECT_TRUE(m_controller->draggingEntered(images));
    EXPECT_TRUE(m_controller->performDrop(images));
    ASSERT_EQ(dropped.size(), 1);
    EXPECT_EQ(dropped.first(), std::make_pair(booted->uuid(), images));
    EXPECT_TRUE(waitFor([&] { return photoCount(*booted) == before + 2; }))
        << photoCount(*booted) << " photos, " << before << " before";
}

TEST_F(StatusMenu, aDropWithAnythingButImagesAddsNothingAndSaysWhy)
{
    ASSERT_TRUE(waitForCatalogue());
    int calls = 0;
    m_controller->didDropImageClosure = [&](const SimulatorDevicePtr &, const QList<QUrl> &) {
        ++calls;
    };
    const QUrl image = QUrl::fromLocalFile(writeImage(QStringLiteral("photo.png")));
    const QUrl text = QUrl::fromLocalFile(writeText(QStringLiteral("notes.txt")));
    const QUrl folder = QUrl::fromLocalFile(m_home->path());
    const QUrl vanished = QUrl::fromLocalFile(m_home->filePath(QStringLiteral("gone.png")));
    const QUrl remote(QStringLiteral("https://example.com/a.png"));
    for (const QList<QUrl> &urls : {QList<QUrl>{text, image}, QList<QUrl>{folder},
                                    QList<QUrl>{vanished}, QList<QUrl>{remote}}) {
        EXPECT_FALSE(m_controller->draggingEntered(urls));
        // Accepted as a drop, but nothing is handed on.
        EXPECT_TRUE(m_controller->performDrop(urls));
    }
    QList<QUrl> many;
    for (int i = 0; i < 101; ++i) {
        many.append(image);
    }
    EXPECT_FALSE(m_controller->draggingEntered(many));
    m_controller->performDrop(many);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(m_alerts.size(), 5);
    EXPECT_TRUE(m_alerts.at(0).contains(QStringLiteral("notes.txt is not an image")));
    EXPECT_TRUE(m_alerts.at(1).contains(QStringLiteral("not a regular file")));
    EXPECT_TRUE(m_alerts.at(2).contains(QStringLiteral("does not exist")));
    EXPECT_TRUE(m_alerts.at(4).contains(QStringLiteral("101 files")));
    EXPECT_FALSE(m_controller->draggingEntered({}));
}

TEST_F(StatusMenu, aMouseClickOnAnAppInADeviceSubmenuActsOnce)
{
    ASSERT_TRUE(waitForCatalogue());
    QMenu &menu = *m_controller->statusMenu();
    ASSERT_TRUE(waitFor([&] { return !catalogueItems(menu).isEmpty(); }));
    CatalogueMenuAction *device = nullptr;
    for (CatalogueMenuAction *item : catalogueItems(menu)) {
        if (item->device() && !item->device()->apps().isEmpty()) {
            device = item;
            break;
        }
    }
    ASSERT_NE(device, nullptr);
    QList<QString> clicked;
    m_controller->selectedAppClosure = [&](const SimulatorAppPtr &app, MenuItemAction) {
        clicked.append(app->uuid());
    };
    m_controller->popUpMenu(QPoint(10, 10));
    ASSERT_TRUE(waitFor([&] { return menu.isVisible(); }));
    menu.setActiveAction(device);
    QMenu &apps = *device->submenu();
    ASSERT_TRUE(waitFor([&] { return apps.isVisible(); }));
    QAction *app = apps.actions().first();
    const QPoint at = apps.actionGeometry(app).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, apps.mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&apps, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, apps.mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&apps, &release);
    QCoreApplication::processEvents();
    ASSERT_EQ(clicked.size(), 1) << "the handler ran " << clicked.size() << " times";
    EXPECT_EQ(clicked.first(), qobject_cast<CatalogueMenuAction *>(app)->app()->uuid());
    menu.close();
}

TEST_F(StatusMenu, withNoDeviceBootedADropAddsNothing)
{
    ASSERT_TRUE(waitForCatalogue());
    for (const auto &device : *m_connector->devices()) {
        if (device->booted()) {
            ASSERT_EQ(devtoolsworld::run(
                          QStringLiteral("xcrun"),
                          {QStringLiteral("simctl"), QStringLiteral("shutdown"), device->uuid()})
                          .status,
                      0);
        }
    }
    const auto noneBooted = [&] {
        for (const auto &device : m_connector->devices().value_or(QList<SimulatorDevicePtr>())) {
            if (device->booted()) {
                return false;
            }
        }
        return m_connector->devices().has_value();
    };
    ASSERT_TRUE(waitFor(noneBooted, std::chrono::seconds(30)));
    int calls = 0;
    m_controller->didDropImageClosure = [&](const SimulatorDevicePtr &, const QList<QUrl> &) {
        ++calls;
    };
    const QList<QUrl> images{QUrl::fromLocalFile(writeImage(QStringLiteral("one.png")))};
    EXPECT_FALSE(m_controller->draggingEntered(images));
    EXPECT_TRUE(m_controller->performDrop(images));
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(m_alerts.size(), 1);
    EXPECT_TRUE(m_alerts.first().contains(QStringLiteral("No simulator is running")));
}

TEST_F(StatusMenu, anotherXcodeSelectedWaitsForItsCatalogueThenNamesItInTheHeader)
{
    ASSERT_TRUE(waitForCatalogue());
    QMenu &menu = *m_controller->statusMenu();
    ASSERT_TRUE(waitFor([&] { return !catalogueItems(menu).isEmpty(); }));
    std::optional<XcodeVersion> other;
    for (const XcodeVersion &xcode : DeveloperTools().installedXcodes()) {
        if (!xcode.isCurrentlySelected()) {
            other = xcode;
        }
    }
    ASSERT_TRUE(other.has_value());
    ASSERT_NE(other->version(), QStringLiteral("8.0"));
    ASSERT_TRUE(DeveloperTools().setSelectedXcode(*other));
    m_controller->xcodeSelectionDidChange(*other);
    EXPECT_EQ(menuTexts(menu).first(), QStringLiteral("Waiting for Simulators…"));
    const QString header =
        QStringLiteral("Simulators [Xcode ") + other->version() + QLatin1Char(']');
    EXPECT_TRUE(waitFor([&] { return menuTexts(menu).contains(header); }, std::chrono::seconds(30)))
        << menuTexts(menu).join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(m_controller->lastSelectedXcode().has_value());
    EXPECT_EQ(*m_controller->lastSelectedXcode(), *other);
}

TEST_F(StatusMenu, aSelectionChangedBehindItsBackIsNoticedWhenTheMenuOpens)
{
    ASSERT_TRUE(waitForCatalogue());
    QMenu &menu = *m_controller->statusMenu();
    ASSERT_TRUE(waitFor([&] { return !catalogueItems(menu).isEmpty(); }));
    std::optional<XcodeVersion> other;
    for (const XcodeVersion &xcode : DeveloperTools().installedXcodes()) {
        if (!xcode.isCurrentlySelected()) {
            other = xcode;
        }
    }
    ASSERT_TRUE(other.has_value());
    int noticed = 0;
    QObject::connect(m_controller.get(), &StatusItemController::selectedXcodeChanged,
                     [&] { ++noticed; });
    // Opening with the selection unchanged reconnects nothing.
    m_controller->menuWillOpen(&menu);
    m_controller->menuDidClose(&menu);
    EXPECT_EQ(noticed, 0);
    EXPECT_TRUE(menuTexts(menu).contains(QStringLiteral("Simulators [Xcode 8.0]")));

    ASSERT_TRUE(DeveloperTools().setSelectedXcode(*other));
    m_controller->menuWillOpen(&menu);
    m_controller->menuDidClose(&menu);
    EXPECT_EQ(noticed, 1);
    const QString header =
        QStringLiteral("Simulators [Xcode ") + other->version() + QLatin1Char(']');
    EXPECT_TRUE(waitFor([&] { return menuTexts(menu).contains(header); }, std::chrono::seconds(30)))
        << menuTexts(menu).join(QLatin1Char('|')).toStdString();
}
