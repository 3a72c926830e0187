#include "menuactionhandlers.h"

#include "fileviewer.h"

#include "Marrowfs/marrowfscontroller.h"
#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/foundation/log.h"

#include <QFileDialog>
#include <QStandardPaths>

MenuActionHandlers::MenuActionHandlers(ParleyConnector &connector, FileViewer &viewer,
                                       VolumeAccess volume, PhotoChooser chooser)
    : m_connector(connector), m_viewer(viewer), m_volume(std::move(volume)),
      m_chooser(std::move(chooser))
{}

QList<QUrl> MenuActionHandlers::chooseImagesWithDialog()
{
    return QFileDialog::getOpenFileUrls(
        nullptr, QStringLiteral("Add Photos"),
        QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)),
        QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.heic *.tif *.tiff *.bmp *.webp)"));
}

bool MenuActionHandlers::revealOnVolume(const std::optional<QString> &folder)
{
    if (!folder) {
        return false;
    }
    m_viewer.revealItems({QUrl::fromLocalFile(*folder)});
    return true;
}

void MenuActionHandlers::revealDevice(const SimulatorDevice &device)
{
    MarrowfsController *volume = m_volume ? m_volume() : nullptr;
    if (volume && revealOnVolume(volume->folderOfDevice(device))) {
        return;
    }
    if (device.containerURL()) {
        m_viewer.revealItems({*device.containerURL()});
    }
}

void MenuActionHandlers::revealApp(const SimulatorApp &app)
{
    MarrowfsController *volume = m_volume ? m_volume() : nullptr;
    if (volume && revealOnVolume(volume->folderOfApp(app))) {
        return;
    }
    if (app.sandboxURL()) {
        m_viewer.revealItems({*app.sandboxURL()});
    }
}

void MenuActionHandlers::revealAppGroups(const SimulatorAppPtr &app)
{
    MarrowfsController *volume = m_volume ? m_volume() : nullptr;
    if (volume && revealOnVolume(volume->folderOfAppGroups(*app))) {
        return;
    }
    FileViewer *viewer = &m_viewer;
    m_connector.urlsForAppGroupsOfApp(
        *app, [viewer](const QList<QUrl> &urls) { viewer->revealItems(urls); });
}

void MenuActionHandlers::deviceSelected(const SimulatorDevicePtr &device, MenuItemAction action)
{
    switch (action) {
    case MenuItemAction::RevealInFileViewer:
        revealDevice(*device);
        break;
    case MenuItemAction::LaunchSimulator:
        m_connector.launchSimulatorForDevice(*device, false);
        break;
    case MenuItemAction::ResetContentsAndSettings:
        m_connector.resetContentsAndSettingsOfDevice(*device);
        break;
    case MenuItemAction::AddPhoto:
        m_connector.openAddPhotoDialogForDevice(*device, m_chooser);
        break;
    case MenuItemAction::CopyPathToPasteboard:
        MLOG_INFO(QStringLiteral("Copy path of device: ") + device->description());
        m_connector.copyPathOfDevice(*device);
        break;
    default:
        break;
    }
}

void MenuActionHandlers::appSelected(const SimulatorAppPtr &app, MenuItemAction action)
{
    switch (action) {
    case MenuItemAction::ResetData:
        MLOG_INFO(QStringLiteral("Reset data: ") + app->description());
        m_connector.resetApp(*app);
        break;
    case MenuItemAction::Uninstall:
        MLOG_INFO(QStringLiteral("Uninstall: ") + app->description());
        m_connector.uninstallApp(*app);
        break;
    case MenuItemAction::LaunchInSimulator:
        MLOG_INFO(QStringLiteral("Launch in simulator: ") + app->description());
        m_connector.launchApp(*app);
        break;
    case MenuItemAction::ShowAppGroups:
        revealAppGroups(app);
        break;
    case MenuItemAction::CopyPathToPasteboard:
        MLOG_INFO(QStringLiteral("Copy path of app: ") + app->description());
        m_connector.copyPathOfApp(*app);
        break;
    default:
        // Whatever else is stored (an action left over from a device, say)
        // reveals the app.
        revealApp(*app);
        break;
    }
}

void MenuActionHandlers::imagesDropped(const SimulatorDevicePtr &device, const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        m_connector.addPhoto(url, *device);
    }
}
