// The world the menu and the application are tested in: the stand-in's
// sample world in a temporary HOME and a private bus that starts the real
// service when the application's connector first calls it.
#pragma once

#include "sampleworldtest.h"

#include "Marrowkit/model/simulatordevice.h"

#include <QImage>

#include <memory>

class MenuWorld : public SampleWorldTest
{
protected:
    // Photos added to a device so far (files below its Media folder).
    static int photoCount(const SimulatorDevice &device);
    // A small image file in the temporary HOME.
    QString writeImage(const QString &name);
    QString writeText(const QString &name);
    static SimulatorDevicePtr deviceNamed(const QList<SimulatorDevicePtr> &devices,
                                          const QString &name);
};
