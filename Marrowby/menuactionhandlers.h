// What a click on a device or app item, and a drop of images, carry out:
// each action goes to the service through the connector; revealing shows the
// item's folder on the volume while it is mounted, else the real folder.
//
// Threads: main thread (the connector's and the volume's owner thread).
#pragma once

#include "menuitemaction.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QList>
#include <QUrl>

#include <functional>

class FileViewer;
class MarrowfsController;
class ParleyConnector;

class MenuActionHandlers
{
public:
    using VolumeAccess = std::function<MarrowfsController *()>;
    using PhotoChooser = std::function<QList<QUrl>()>;

    // `volume` answers the running volume's controller, or null while it is off.
    MenuActionHandlers(ParleyConnector &connector, FileViewer &viewer, VolumeAccess volume,
                       PhotoChooser chooser);

    void deviceSelected(const SimulatorDevicePtr &device, MenuItemAction action);
    void appSelected(const SimulatorAppPtr &app, MenuItemAction action);
    void imagesDropped(const SimulatorDevicePtr &device, const QList<QUrl> &urls);

    // A native file dialog that picks image files.
    static QList<QUrl> chooseImagesWithDialog();

private:
    bool revealOnVolume(const std::optional<QString> &folder);
    void revealDevice(const SimulatorDevice &device);
    void revealApp(const SimulatorApp &app);
    void revealAppGroups(const SimulatorAppPtr &app);

    ParleyConnector &m_connector;
    FileViewer &m_viewer;
    VolumeAccess m_volume;
    PhotoChooser m_chooser;
};
