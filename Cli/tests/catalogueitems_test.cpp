// Names on the command line: exact names, bundle identifiers and uuids find
// their item, a prefix only when one item has it.
#include "catalogueitems.h"

#include <gtest/gtest.h>

namespace {

SimulatorAppPtr app(const QString &uuid, const QString &name, const QString &identifier)
{
    return SimulatorApp::create(uuid, {{QStringLiteral("CFBundleIdentifier"), identifier},
                                       {QStringLiteral("CFBundleName"), name}});
}

template<typename T> T item(const CatalogueItems::Found<T> &found)
{
    return std::holds_alternative<T>(found) ? std::get<T>(found) : T();
}

template<typename T> QString problem(const CatalogueItems::Found<T> &found)
{
    return std::holds_alternative<QString>(found) ? std::get<QString>(found) : QString();
}

} // namespace

TEST(CatalogueItems, DevicesAreFoundByNameUuidOrAUniquePrefix)
{
    const QList<SimulatorDevicePtr> devices{
        SimulatorDevice::create(QStringLiteral("AB000000-0000-0000-0000-000000000001"),
                                QStringLiteral("iPhone 6"), {}),
        SimulatorDevice::create(QStringLiteral("AC000000-0000-0000-0000-000000000002"),
                                QStringLiteral("iPhone 6 Plus"), {}),
        SimulatorDevice::create(QStringLiteral("CD000000-0000-0000-0000-000000000003"),
                                QStringLiteral("iPad Air"), {}),
    };
    using CatalogueItems::findDevice;
    EXPECT_EQ(item(findDevice(devices, QStringLiteral("iPhone 6"))), devices[0])
        << "an exact name wins over the longer name it begins";
    EXPECT_EQ(item(findDevice(devices, QStringLiteral("iPhone 6 P"))), devices[1]);
    EXPECT_EQ(item(findDevice(devices, QStringLiteral("iPad"))), devices[2]);
    EXPECT_EQ(item(findDevice(devices, QStringLiteral("cd00"))), devices[2]);
    EXPECT_EQ(item(findDevice(devices, devices[1]->uuid())), devices[1]);
    const QString ambiguous = problem(findDevice(devices, QStringLiteral("iPh")));
    EXPECT_TRUE(ambiguous.contains(QStringLiteral("more than one"))) << ambiguous.toStdString();
    EXPECT_TRUE(ambiguous.contains(devices[0]->uuid()) && ambiguous.contains(devices[1]->uuid()));
    EXPECT_TRUE(problem(findDevice(devices, QStringLiteral("A"))).contains(QStringLiteral("more")));
    EXPECT_FALSE(problem(findDevice(devices, QStringLiteral("Watch"))).isEmpty());
    EXPECT_FALSE(problem(findDevice(devices, QString())).isEmpty());
}

TEST(CatalogueItems, AppsSharingANameAreFoundByDisplayNameOrIdentifier)
{
    const auto counter = app(QStringLiteral("app-1"), QStringLiteral("Counter"),
                             QStringLiteral("com.example.counter"));
    const auto pro = app(QStringLiteral("app-2"), QStringLiteral("Counter"),
                         QStringLiteral("com.example.counter-pro"));
    const auto phone =
        SimulatorDevice::create(QStringLiteral("AB000000-0000-0000-0000-000000000001"),
                                QStringLiteral("iPhone 6"), {counter, pro});
    using CatalogueItems::findApp;
    EXPECT_TRUE(
        problem(findApp(*phone, QStringLiteral("Counter"))).contains(QStringLiteral("more")));
    EXPECT_EQ(item(findApp(*phone, QStringLiteral("com.example.counter"))), counter);
    EXPECT_EQ(item(findApp(*phone, QStringLiteral("Counter (com.example.counter-pro)"))), pro);
    EXPECT_EQ(item(findApp(*phone, QStringLiteral("app-2"))), pro);
}
