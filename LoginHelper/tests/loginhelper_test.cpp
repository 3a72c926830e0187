// The helper's way from its own bundle to the application around it.
#include "loginhelper.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

TEST(LoginHelperPaths, fourFoldersUpFromTheHelperBundleIsTheApplication)
{
    EXPECT_EQ(LoginHelper::containingApplication(QStringLiteral(
                  "/opt/Marrowby.app/Contents/Library/LoginItems/MarrowbyHelper.app")),
              QStringLiteral("/opt/Marrowby.app"));
    // A trailing slash or doubled slashes are the same path.
    EXPECT_EQ(LoginHelper::containingApplication(QStringLiteral(
                  "/opt//Marrowby.app/Contents/Library/LoginItems/MarrowbyHelper.app/")),
              QStringLiteral("/opt/Marrowby.app"));
    // Too few folders to walk up: nothing, never "/" or an empty path.
    EXPECT_EQ(LoginHelper::containingApplication(QStringLiteral("/Library/LoginItems/H.app")),
              std::nullopt);
    EXPECT_EQ(LoginHelper::containingApplication(QStringLiteral("H.app")), std::nullopt);
    EXPECT_EQ(LoginHelper::containingApplication(QString()), std::nullopt);
}

TEST(LoginHelperPaths, theBuiltHelperFindsTheBuiltApplicationsProgram)
{
    const QString helper = testsupport::bundlePath() +
                           QStringLiteral("/Contents/Library/LoginItems/MarrowbyHelper.app");
    const auto application = LoginHelper::containingApplication(helper);
    ASSERT_TRUE(application.has_value());
    EXPECT_EQ(LoginHelper::executableOfApplication(*application),
              testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/Marrowby"));
}

TEST(LoginHelperPaths, aBundleWhoseProgramIsMissingOrEscapesItIsNoApplication)
{
    QTemporaryDir dir;
    const QString app = dir.filePath(QStringLiteral("Fake.app"));
    const auto info = [&](const QString &executable) {
        return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
                              "<string>%1</string></dict></plist>\n")
            .arg(executable)
            .toUtf8();
    };
    ASSERT_TRUE(testsupport::writeFile(app + QStringLiteral("/Contents/Info.plist"),
                                       info(QStringLiteral("Fake"))));
    EXPECT_EQ(LoginHelper::executableOfApplication(app), std::nullopt) << "no program";
    ASSERT_TRUE(
        testsupport::writeFile(app + QStringLiteral("/Contents/MacOS/Fake"), "#!/bin/sh\n"));
    EXPECT_EQ(LoginHelper::executableOfApplication(app), std::nullopt) << "not executable";
    ASSERT_TRUE(QFile::setPermissions(app + QStringLiteral("/Contents/MacOS/Fake"),
                                      QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_EQ(LoginHelper::executableOfApplication(app),
              app + QStringLiteral("/Contents/MacOS/Fake"));
    ASSERT_TRUE(testsupport::writeFile(app + QStringLiteral("/Contents/Info.plist"),
                                       info(QStringLiteral("../../../bin/sh"))));
    EXPECT_EQ(LoginHelper::executableOfApplication(app), std::nullopt) << "outside the bundle";

    const LoginHelper::Report report = LoginHelper::applicationDidFinishLaunching(
        app + QStringLiteral("/Contents/Library/LoginItems/MarrowbyHelper.app"),
        dir.filePath(QStringLiteral("instance.lock")));
    EXPECT_EQ(report.outcome, LoginHelper::Outcome::NoApplication);
    EXPECT_FALSE(report.detail.isEmpty());
}
