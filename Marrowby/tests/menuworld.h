// The world the menu and the application are tested in: the stand-in's
// sample world in a temporary HOME and a private bus that starts the real
// service when the application's connector first calls it.
#pragma once

#include "tests/support/privatebus.h"
#include "tests/support/testsupport.h"

#include "Marrowkit/model/simulatordevice.h"

#include <gtest/gtest.h>

#include <QImage>

#include <memory>

class MenuWorld : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Photos added to a device so far (files below its Media folder).
    static int photoCount(const SimulatorDevice &device);
    // A small image file in the temporary HOME.
    QString writeImage(const QString &name);
    QString writeText(const QString &name);
    static SimulatorDevicePtr deviceNamed(const QList<SimulatorDevicePtr> &devices,
                                          const QString &name);

    std::unique_ptr<testsupport::TemporaryHome> m_home;
    std::unique_ptr<testsupport::PrivateBus> m_bus;
};
