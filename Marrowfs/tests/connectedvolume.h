// A real mount of the volume fed by the connector: the stand-in's sample
// world in a temporary HOME, the real service started by activation on a
// private bus, a connector on that bus, the feed between them, and recorders
// standing in for the menu's alert and the desktop's file manager.
// Skips with the reason when this machine cannot mount; always unmounts.
#pragma once

#include "connectorworld.h"

#include "connectorfeed.h"
#include "folderopener.h"
#include "marrowfscontroller.h"
#include "volumealertpresenter.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Main thread only, like the presenters it stands in for.
class RecordingPresenter : public VolumeAlertPresenter
{
public:
    void showAlert(const QString &message) override { alerts.append(message); }
    QStringList alerts;
};

// Main thread only.
class RecordingOpener : public FolderOpener
{
public:
    void openFolder(const QString &path) override { opened.append(path); }
    QStringList opened;
};

class ConnectedVolume : public ConnectorWorld
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A path on the mount ("/Device/App" -> "<mount>/Device/App").
    QString onMount(const QString &virtualPath) const;
    QStringList listed(const QString &virtualPath) const;
    // The connector's current device named `name` and its app named `app`.
    SimulatorDevicePtr device(const QString &name) const;
    SimulatorAppPtr app(const QString &deviceName, const QString &appName) const;
    // "/<device folder>" and "/<device folder>/<app folder>" as the
    // connector names them; empty when not in its catalogue.
    QString deviceFolder(const QString &deviceName) const;
    QString appFolder(const QString &deviceName, const QString &appName) const;
    // Runs `rm -r` on a path on the mount; its exit status and messages.
    std::pair<int, QString> removeRecursively(const QString &virtualPath) const;

    ParleyConnector *m_connector = nullptr;
    RecordingPresenter m_presenter;
    RecordingOpener m_opener;
    std::unique_ptr<ConnectorFeed> m_feed;
    QTemporaryDir m_mountParent;
    std::unique_ptr<MarrowfsController> m_volume;
};
