// Devices, their types and states, and item identity by uuid.
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/model/simulatorproxydevice.h"

#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>
#include <unordered_set>

namespace {

const QString udid = QStringLiteral("1A2B3C4D-0000-1111-2222-333344445555");

SimulatorDevicePtr makeDevice(const QString &type = QStringLiteral("iPhone 6"), int state = 1)
{
    return SimulatorDevice::create(udid, QStringLiteral("iPhone 6"), {}, QStringLiteral("9.0"),
                                   type, state);
}

} // namespace

TEST(SimulatorDevice, DefaultsAndDerivedNames)
{
    const auto device = SimulatorDevice::create(udid, QStringLiteral("Phone"), {});
    EXPECT_EQ(device->version(), QStringLiteral("8.0"));
    EXPECT_EQ(device->deviceType(), DeviceType::Unknown);
    EXPECT_EQ(device->deviceState(), DeviceState::Shutdown);
    EXPECT_TRUE(device->displayName().isEmpty());
    EXPECT_FALSE(device->containerURL());
    EXPECT_FALSE(device->applicationsURL());

    EXPECT_EQ(makeDevice()->longName(), QStringLiteral("iPhone 6 (9.0) (1A2B3C4D)"));
    const auto shortId = SimulatorDevice::create(QStringLiteral("AB"), QStringLiteral("X"), {});
    EXPECT_EQ(shortId->longName(), QStringLiteral("X (8.0) (AB)"));
    // Characters, not code units: an accented letter made of two code points
    // counts once.
    const QString combining = QStringLiteral("e\u0301ABCDEFGHIJ");
    EXPECT_EQ(SimulatorDevice::create(combining, QStringLiteral("X"), {})->longName(),
              QStringLiteral("X (8.0) (e\u0301ABCDEFG)"));
}

TEST(SimulatorDevice, TypeAndStateFromRawValues)
{
    const auto odd = makeDevice(QStringLiteral("iphone 6"));
    EXPECT_EQ(odd->deviceType(), DeviceType::Unknown) << "case matters";
    EXPECT_TRUE(isRetina(odd->deviceType()));
    EXPECT_TRUE(odd->canImportPhotos());

    EXPECT_EQ(makeDevice(QStringLiteral("iPad 2"))->deviceType(), DeviceType::iPad2);
    EXPECT_EQ(makeDevice(QStringLiteral("Unknown"), 7)->deviceState(), DeviceState::Shutdown);
    EXPECT_EQ(makeDevice(QStringLiteral("Unknown"), -2)->deviceState(), DeviceState::Shutdown);
    EXPECT_EQ(makeDevice(QStringLiteral("Unknown"), -1)->deviceState(), DeviceState::Unknown);
    const auto booted = makeDevice(QStringLiteral("iPhone 6"), 3);
    EXPECT_TRUE(booted->booted());
    booted->setDeviceState(DeviceState::ShuttingDown);
    EXPECT_FALSE(booted->booted());
}

TEST(DeviceType, TableOfTraits)
{
    int pads = 0;
    int nonRetina = 0;
    for (int i = 0; i <= static_cast<int>(DeviceType::Unknown); ++i) {
        const auto type = static_cast<DeviceType>(i);
        EXPECT_EQ(deviceTypeFromRawValue(rawValue(type)), type) << rawValue(type).toStdString();
        pads += isPad(type) ? 1 : 0;
        nonRetina += isRetina(type) ? 0 : 1;
        const bool photos = makeDevice(rawValue(type))->canImportPhotos();
        EXPECT_EQ(photos, type != DeviceType::watch38 && type != DeviceType::watch42 &&
                              type != DeviceType::atv);
    }
    EXPECT_EQ(pads, 5);
    EXPECT_EQ(nonRetina, 1);
    EXPECT_FALSE(isRetina(DeviceType::iPad2));
    EXPECT_TRUE(isWatch(DeviceType::watch38));
    EXPECT_TRUE(isTV(DeviceType::atv));
    EXPECT_EQ(rawValue(DeviceType::iPhone6splus), QStringLiteral("iPhone 6s Plus"));
    EXPECT_EQ(rawValue(DeviceType::watch42), QStringLiteral("Apple Watch - 42mm"));
    EXPECT_FALSE(deviceTypeFromRawValue(QStringLiteral("Apple TV  1080p")));
    EXPECT_FALSE(deviceTypeFromRawValue(QString()));
}

TEST(DeviceState, RawValuesAndUpdateTypes)
{
    for (int raw = -1; raw <= 4; ++raw) {
        ASSERT_TRUE(deviceStateFromRawValue(raw));
        EXPECT_EQ(rawValue(*deviceStateFromRawValue(raw)), raw);
    }
    EXPECT_FALSE(deviceStateFromRawValue(5));
    EXPECT_FALSE(deviceStateFromRawValue(-2));
    EXPECT_EQ(description(DeviceState::ShuttingDown), QStringLiteral("ShuttingDown"));
    EXPECT_EQ(description(DeviceState::Unknown), QStringLiteral("Unknown"));
    EXPECT_EQ(deviceStateFromUpdateType(SimulatorUpdateType::DeviceBooted), DeviceState::Booted);
    EXPECT_EQ(deviceStateFromUpdateType(SimulatorUpdateType::DeviceShutdown),
              DeviceState::Shutdown);
    EXPECT_EQ(deviceStateFromUpdateType(SimulatorUpdateType::DeviceCreating), DeviceState::Unknown);
    EXPECT_EQ(deviceStateFromUpdateType(SimulatorUpdateType::AppsAdded), DeviceState::Unknown);
}

TEST(SimulatorUpdateType, RawValuesAndPositions)
{
    EXPECT_EQ(rawValue(SimulatorUpdateType::DeviceCreating), QStringLiteral("DeviceCreating"));
    EXPECT_EQ(simulatorUpdateTypeFromRawValue(QStringLiteral("AppsDeleted")),
              SimulatorUpdateType::AppsDeleted);
    EXPECT_FALSE(simulatorUpdateTypeFromRawValue(QStringLiteral("appsDeleted")));
    EXPECT_EQ(hashValue(SimulatorUpdateType::AppsAdded), 0);
    EXPECT_EQ(hashValue(SimulatorUpdateType::DeviceShutdown), 5);
    QSet<SimulatorUpdateType> set{SimulatorUpdateType::AppsAdded, SimulatorUpdateType::AppsAdded};
    EXPECT_EQ(set.size(), 1);
}

TEST(SimulatorItem, EqualityByUuidAlone)
{
    const auto a = makeDevice(QStringLiteral("iPhone 6"), 3);
    const auto b = SimulatorDevice::create(udid, QStringLiteral("Other"), {},
                                           QStringLiteral("10.0"), QStringLiteral("iPad Air"), 1);
    EXPECT_TRUE(*a == *b);
    EXPECT_EQ(qHash(*a), qHash(*b));
    const SimulatorProxyDevice proxy(udid);
    EXPECT_TRUE(proxy == *a);
    EXPECT_TRUE(*a == proxy);
    EXPECT_EQ(proxy.description(), QStringLiteral("SimulatorItem[") + udid + QLatin1Char(']'));
    EXPECT_FALSE(*a == SimulatorProxyDevice(QStringLiteral("other")));

    // Apps narrow the rule, whichever side they are on.
    const SimulatorApp app(udid, QStringLiteral("App"));
    EXPECT_FALSE(app == *a);
    EXPECT_FALSE(*a == app);
    EXPECT_TRUE(app == SimulatorApp(udid, QStringLiteral("Renamed")));

    std::unordered_set<std::shared_ptr<const SimulatorItem>, SimulatorItemPtrHash,
                       SimulatorItemPtrEqual>
        set{a, b, std::make_shared<SimulatorProxyDevice>(udid)};
    EXPECT_EQ(set.size(), 1u);
}

TEST(SimulatorDevice, AppsGetTheirDeviceBeforeCreateReturns)
{
    auto first = std::make_shared<SimulatorApp>(QStringLiteral("A1"), QStringLiteral("Mail"),
                                                QStringLiteral("1.0"));
    auto second = std::make_shared<SimulatorApp>(QStringLiteral("A2"), QStringLiteral("Maps"),
                                                 QStringLiteral("2.0 (3)"));
    auto device = SimulatorDevice::create(udid, QStringLiteral("Phone"), {first, second});
    EXPECT_EQ(first->device(), device);
    EXPECT_EQ(second->device(), device);
    EXPECT_EQ(device->description(),
              QStringLiteral("Phone ") + udid +
                  QStringLiteral(": [A1: Mail.app (1.0), A2: Maps.app (2.0 (3))]\n"));

    // Setting the list later leaves back-references alone.
    auto other = SimulatorDevice::create(QStringLiteral("other"), QStringLiteral("Pad"), {});
    other->setApps({first});
    EXPECT_EQ(first->device(), device);

    // The back-reference is weak: apps do not keep their device alive.
    std::weak_ptr<SimulatorDevice> watch = device;
    device.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(first->device(), nullptr);
}

TEST(SimulatorDevice, ApplicationsFolderUnderTheContainer)
{
    auto device = makeDevice();
    device->setContainerURL(QUrl::fromLocalFile(QStringLiteral("/home/u/Devices/") + udid));
    EXPECT_EQ(device->applicationsURL()->toLocalFile(),
              QStringLiteral("/home/u/Devices/") + udid +
                  QStringLiteral("/data/Containers/Bundle/Application"));
    device->setContainerURL(QUrl::fromLocalFile(QStringLiteral("/d/")));
    EXPECT_EQ(device->applicationsURL()->toLocalFile(),
              QStringLiteral("/d/data/Containers/Bundle/Application"));
}

TEST(NullDevice, OneSharedInstanceFromAnyThread)
{
    std::vector<SimulatorDevicePtr> seen(4);
    std::vector<std::thread> threads;
    threads.reserve(seen.size());
    for (auto &slot : seen) {
        threads.emplace_back([&slot] { slot = NullDevice(); });
    }
    for (auto &t : threads) {
        t.join();
    }
    for (const auto &device : seen) {
        EXPECT_EQ(device, NullDevice());
    }
    const auto null = NullDevice();
    EXPECT_EQ(null->uuid(), QStringLiteral("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"));
    EXPECT_EQ(null->name(), QStringLiteral("NullDevice"));
    EXPECT_EQ(null->version(), QStringLiteral("8.0"));
    EXPECT_EQ(null->deviceType(), DeviceType::Unknown);
    EXPECT_EQ(null->deviceState(), DeviceState::Shutdown);
    EXPECT_TRUE(null->apps().isEmpty());
    EXPECT_FALSE(null->containerURL());
}
