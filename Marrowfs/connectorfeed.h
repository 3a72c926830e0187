// Feeds the volume from the service connector: publishes the connector's
// catalogue, with the connector's own device and app names, as the volume's
// catalogue whenever the connector's devices change, and carries the
// volume's uninstalls and deletions to the service through the connector.
// Alerts go to the presenter, if any (else to the log).
//
// Threads: a QObject of the main thread, which owns the connector. The
// volume's actions arrive on its removal thread and are queued to the main
// thread; a feed destroyed first drops them.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include "cataloguesource.h"
#include "marrowfsactions.h"
#include "volumealertpresenter.h"

#include <QObject>

class ParleyConnector;

class MARROWFS_EXPORT ConnectorFeed : public QObject, public MarrowfsActions
{
public:
    // `connector` and `presenter` (which may be null) must outlive the feed,
    // and a controller mounted on the feed must be stopped and gone before
    // it. Publishes the connector's current catalogue at once.
    ConnectorFeed(ParleyConnector &connector, VolumeAlertPresenter *presenter,
                  QObject *parent = nullptr);
    ~ConnectorFeed() override;
    ConnectorFeed(const ConnectorFeed &) = delete;
    ConnectorFeed &operator=(const ConnectorFeed &) = delete;

    CatalogueSource &catalogue() { return m_catalogue; }

    // The connector's catalogue as the volume names it: every device of the
    // connector's list with its deviceNameMap name, every app with the name
    // appNameMapForDevice pairs it with. Main thread.
    static CatalogueSnapshot snapshotOf(const ParleyConnector &connector);

    void uninstallApp(const SimulatorAppPtr &app) override;
    void deleteDevice(const SimulatorDevicePtr &device) override;
    void showAlert(const QString &message) override;

private:
    void publish();
    static void logNoPresenter(const QString &message);

    ParleyConnector &m_connector;
    VolumeAlertPresenter *m_presenter;
    QString m_handlerId;
    CatalogueSource m_catalogue;
};
