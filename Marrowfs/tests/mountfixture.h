// A real mount of the volume in a temporary folder over the sample world.
// Skips with the reason when this machine cannot mount; always unmounts.
#pragma once

#include "marrowfsworld.h"

#include "marrowfscontroller.h"

#include <QTemporaryDir>

#include <memory>

class MountedVolume : public MarrowfsWorld
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A path on the mount ("/Device/App/Sandbox" -> "<mount>/Device/App/Sandbox").
    QString onMount(const QString &virtualPath) const;
    // The real data folder of an app named `appName`.
    QString realSandbox(const QString &appName) const;

    QTemporaryDir m_mountParent;
    std::unique_ptr<MarrowfsController> m_volume;
};
