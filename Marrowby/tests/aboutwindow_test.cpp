// The About window: the bundle's own version, the colours of its style and a
// serif bold italic name where the named face is missing.
#include "aboutwindow.h"

#include <QFontInfo>
#include <QLabel>

#include <gtest/gtest.h>

TEST(AboutWindow, showsTheBundlesVersionInItsStyle)
{
    AboutWindow window;
    EXPECT_EQ(window.versionText(), QStringLiteral("Version " MARROWBY_TEST_VERSION));
    EXPECT_EQ(window.palette().color(QPalette::Window).name(), QStringLiteral("#444444"));

    const AboutWindowStyle style = AboutWindowStyle::standard();
    EXPECT_TRUE(style.bundleNameFont.bold());
    EXPECT_TRUE(style.bundleNameFont.italic());
    EXPECT_EQ(style.bundleNameFont.pointSize(), 32);
    EXPECT_EQ(style.bundleNameColour.name(), QStringLiteral("#8cbf1f"));
    const QFontInfo used(style.bundleNameFont);
    EXPECT_TRUE(used.italic());
    EXPECT_TRUE(used.bold());

    bool nameInStyle = false;
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text() == QLatin1String("Marrowby")) {
            nameInStyle = label->font().italic() && label->font().bold() &&
                          label->styleSheet().contains(QStringLiteral("#ff8cbf1f"));
        }
    }
    EXPECT_TRUE(nameInStyle);
}
