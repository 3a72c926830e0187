// Display names: a name is kept while it is unique and made longer only as
// far as it takes to tell devices or apps apart.
#include "Marrowkit/Connection/displaynames.h"

#include <gtest/gtest.h>

namespace {

SimulatorDevicePtr device(const QString &uuid, const QString &name, const QString &version,
                          const QList<SimulatorAppPtr> &apps = {})
{
    return SimulatorDevice::create(uuid, name, apps, version);
}

SimulatorAppPtr app(const QString &uuid, const QString &name, const QString &identifier)
{
    return SimulatorApp::create(uuid, {{QStringLiteral("CFBundleIdentifier"), identifier},
                                       {QStringLiteral("CFBundleName"), name}});
}

} // namespace

TEST(DisplayNames, DevicesSharingANameAreToldApartByVersionElseByLongName)
{
    const QList<SimulatorDevicePtr> devices{
        device(QStringLiteral("A1111111-0000-0000-0000-000000000000"), QStringLiteral("iPhone 6"),
               QStringLiteral("8.0")),
        device(QStringLiteral("B2222222-0000-0000-0000-000000000000"), QStringLiteral("iPhone 6"),
               QStringLiteral("9.0")),
        device(QStringLiteral("C3333333-0000-0000-0000-000000000000"), QStringLiteral("iPad 2"),
               QStringLiteral("9.0")),
        device(QStringLiteral("D4444444-0000-0000-0000-000000000000"), QStringLiteral("Apple TV"),
               QStringLiteral("10.0")),
        device(QStringLiteral("E5555555-0000-0000-0000-000000000000"), QStringLiteral("Apple TV"),
               QStringLiteral("10.0")),
    };
    const auto names = DisplayNames::deviceNameMap(devices);
    EXPECT_EQ(names.size(), 5);
    EXPECT_EQ(names.value(devices[0]->uuid()), QStringLiteral("iPhone 6 (8.0)"));
    EXPECT_EQ(names.value(devices[1]->uuid()), QStringLiteral("iPhone 6 (9.0)"));
    EXPECT_EQ(names.value(devices[2]->uuid()), QStringLiteral("iPad 2"));
    EXPECT_EQ(names.value(devices[3]->uuid()), devices[3]->longName());
    EXPECT_EQ(names.value(devices[4]->uuid()), devices[4]->longName());
    EXPECT_NE(names.value(devices[3]->uuid()), names.value(devices[4]->uuid()));
}

TEST(DisplayNames, UniqueDeviceNamesStayAsTheyAre)
{
    const QList<SimulatorDevicePtr> devices{
        device(QStringLiteral("A1111111-0000-0000-0000-000000000000"), QStringLiteral("iPhone 6"),
               QStringLiteral("8.0")),
        device(QStringLiteral("B2222222-0000-0000-0000-000000000000"), QStringLiteral("iPhone 7"),
               QStringLiteral("8.0")),
    };
    const auto names = DisplayNames::deviceNameMap(devices);
    EXPECT_EQ(names.value(devices[0]->uuid()), QStringLiteral("iPhone 6"));
    EXPECT_EQ(names.value(devices[1]->uuid()), QStringLiteral("iPhone 7"));
}

TEST(DisplayNames, AppsSharingANameGetTheirBundleIdentifierInOrder)
{
    const auto counter = app(QStringLiteral("app-1"), QStringLiteral("Counter"),
                             QStringLiteral("com.example.counter"));
    const auto pro = app(QStringLiteral("app-2"), QStringLiteral("Counter"),
                         QStringLiteral("com.example.counter-pro"));
    const auto notes =
        app(QStringLiteral("app-3"), QStringLiteral("Notes"), QStringLiteral("com.example.notes"));
    ASSERT_TRUE(counter && pro && notes);
    const auto phone =
        device(QStringLiteral("A1111111-0000-0000-0000-000000000000"), QStringLiteral("iPhone 6"),
               QStringLiteral("8.0"), {notes, counter, pro});
    const auto names = DisplayNames::appNameMapForDevice(*phone);
    ASSERT_EQ(names.size(), 3);
    EXPECT_EQ(names[0].first, notes);
    EXPECT_EQ(names[0].second, QStringLiteral("Notes"));
    EXPECT_EQ(names[1].first, counter);
    EXPECT_EQ(names[1].second, QStringLiteral("Counter (com.example.counter)"));
    EXPECT_EQ(names[2].second, QStringLiteral("Counter (com.example.counter-pro)"));
}
