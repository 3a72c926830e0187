// What the volume asks the rest of the system to do: the service's device and
// app actions (through the connector) and the one notice a user may see. The
// notice is only requested here; showing it is a VolumeAlertPresenter's job,
// reached on the main thread.
//
// Threads: called on the volume's deferred-removal thread, never inside a
// request handler; implementations hop to their own thread if they need one.
#pragma once

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QString>

class MarrowfsActions
{
public:
    virtual ~MarrowfsActions() = default;
    virtual void uninstallApp(const SimulatorAppPtr &app) = 0;
    virtual void deleteDevice(const SimulatorDevicePtr &device) = 0;
    // Asks for a modal notice with one "OK" button.
    virtual void showAlert(const QString &message) = 0;
};
