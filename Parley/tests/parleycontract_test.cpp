// The names of the service connection, and the checks that keep hostile
// names away from QtDBus (libdbus aborts on some that Qt lets through).
#include "Marrowkit/Connection/parleycontract.h"

#include "Marrowkit/plist/propertylist.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

TEST(ParleyContract, TheServiceNameIsTheBundledServicesIdentifier)
{
    EXPECT_EQ(ParleyContract::loginItemName(),
              ParleyContract::serviceName() + QStringLiteral(".app"));
    const auto info =
        PropertyList::dictionaryFromFile(
            testsupport::bundlePath() + QStringLiteral("/Contents/Library/LoginItems/") +
            ParleyContract::loginItemName() + QStringLiteral("/Contents/Info.plist"))
            .value();
    ASSERT_TRUE(info.has_value()) << "the service is bundled under its login-item name";
    EXPECT_EQ(info->value(QStringLiteral("CFBundleIdentifier")).toString(),
              ParleyContract::serviceName());
    EXPECT_TRUE(ParleyContract::isWellKnownBusName(ParleyContract::serviceName()));
    EXPECT_TRUE(ParleyContract::inspectorInterfaceName().startsWith(ParleyContract::serviceName()));
}

TEST(ParleyContract, BusNamesAreCheckedBeforeTheyReachTheBusLibrary)
{
    EXPECT_TRUE(ParleyContract::isUniqueBusName(QStringLiteral(":1.42")));
    EXPECT_TRUE(ParleyContract::isUniqueBusName(QStringLiteral(":1.42.7")));
    EXPECT_TRUE(
        ParleyContract::isWellKnownBusName(QStringLiteral("org.freedesktop.Notifications")));
    EXPECT_TRUE(ParleyContract::isWellKnownBusName(QStringLiteral("a-b.c_d")));
    for (const QString &bad :
         {QString(), QStringLiteral(":"), QStringLiteral(":1"), QStringLiteral(":1..2"),
          QStringLiteral("single"), QStringLiteral("org..x"), QStringLiteral("org.1x"),
          QStringLiteral("org.x."), QStringLiteral("org.x y"), QStringLiteral("org.\u00e9t\u00e9"),
          QStringLiteral("org.") + QString(300, QLatin1Char('a'))}) {
        EXPECT_FALSE(ParleyContract::isWellKnownBusName(bad)) << qPrintable(bad);
        EXPECT_FALSE(ParleyContract::isUniqueBusName(bad)) << qPrintable(bad);
    }
    EXPECT_FALSE(ParleyContract::isUniqueBusName(QStringLiteral("org.example.Name")));
    EXPECT_FALSE(ParleyContract::isWellKnownBusName(QStringLiteral(":1.42")));
}
