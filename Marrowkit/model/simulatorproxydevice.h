// A stand-in that carries only a device's uuid: the item of the device-state
// change updates. The receiver looks the real device up by that uuid.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/model/simulatoritem.h"

class MARROWKIT_EXPORT SimulatorProxyDevice : public SimulatorItem
{
public:
    explicit SimulatorProxyDevice(QString uuid) : SimulatorItem(std::move(uuid)) {}
};

using SimulatorProxyDevicePtr = std::shared_ptr<SimulatorProxyDevice>;
