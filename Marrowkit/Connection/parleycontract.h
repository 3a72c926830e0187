// The names both sides of the service connection agree on: the service's bus
// name (also its bundle identifier), the object paths and interfaces of the
// two protocols declared in dbus/*.xml, and the checks every name from the
// bus passes before it reaches QtDBus (libdbus aborts the process on some
// names that Qt's own checks let through).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>

namespace ParleyContract {

// "M4RR0WBY00.dev.marrowby.marrowby.Parley": the team identifier, the
// reverse-domain prefix and ".marrowby.Parley".
MARROWKIT_EXPORT QString serviceName();
// serviceName() + ".app": the service's login item inside the application.
MARROWKIT_EXPORT QString loginItemName();

// Where the service exports DeviceInspectorProtocol.
MARROWKIT_EXPORT QString inspectorObjectPath();    // "/DeviceInspector"
MARROWKIT_EXPORT QString inspectorInterfaceName(); // serviceName() + ".DeviceInspectorProtocol"
// Where each client exports SimulatorUpdateProtocol.
MARROWKIT_EXPORT QString clientObjectPath();    // "/SimulatorUpdate"
MARROWKIT_EXPORT QString updateInterfaceName(); // serviceName() + ".SimulatorUpdateProtocol"

// A unique connection name as the bus hands them out (":1.42").
MARROWKIT_EXPORT bool isUniqueBusName(const QString &name);
// A well-known bus name: two or more dot-separated elements of letters,
// digits, "_" and "-", none starting with a digit, at most 255 characters.
MARROWKIT_EXPORT bool isWellKnownBusName(const QString &name);

} // namespace ParleyContract
