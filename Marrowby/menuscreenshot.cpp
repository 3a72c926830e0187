#include "menuscreenshot.h"

#include "cataloguemenuaction.h"
#include "statusitemcontroller.h"

#include "Marrowkit/Connection/parleyconnector.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPixmap>

#include <functional>
#include <thread>

namespace MenuScreenshot {

namespace {

bool waitFor(const std::function<bool()> &condition, QDeadlineTimer deadline)
{
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

CatalogueMenuAction *firstAppItem(QMenu &menu)
{
    for (QAction *action : menu.actions()) {
        auto *item = qobject_cast<CatalogueMenuAction *>(action);
        if (item && item->app()) {
            return item;
        }
    }
    return nullptr;
}

} // namespace

QString capture(StatusItemController &controller, ParleyConnector &connector,
                const QString &pngPath, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    QMenu &menu = *controller.statusMenu();
    if (!waitFor([&] { return connector.devices().has_value() && firstAppItem(menu); }, deadline)) {
        return QStringLiteral("no catalogue with apps arrived in time");
    }
    controller.popUpMenu(QPoint(40, 40));
    if (!waitFor([&] { return menu.isVisible(); }, deadline)) {
        return QStringLiteral("the menu did not open");
    }
    CatalogueMenuAction *item = firstAppItem(menu);
    menu.setActiveAction(item);
    // The poll renders the highlighted item with the keys held; the size
    // line is filled in when the size arrives.
    const bool rendered = waitFor(
        [&] {
            return controller.currentSelectedMenuItem() == item &&
                   !item->text().contains(QStringLiteral("Calculating"));
        },
        deadline);
    if (!rendered && controller.currentSelectedMenuItem() != item) {
        return QStringLiteral("the item was not highlighted");
    }
    QCoreApplication::processEvents();
    QDir().mkpath(QFileInfo(pngPath).absolutePath());
    if (!menu.grab().save(pngPath, "PNG")) {
        return QStringLiteral("cannot write ") + pngPath;
    }
    return {};
}

} // namespace MenuScreenshot
