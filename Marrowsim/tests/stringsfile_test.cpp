// Localized string tables in their three spellings, and broken ones.
#include "stringsfile.h"

#include "Marrowkit/plist/propertylist.h"
#include "tests/support/testsupport.h"

#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(StringsTable, ReadsTextPropertyListAndUtf16Forms)
{
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("text.strings"));
    ASSERT_TRUE(testsupport::writeFile(
        text, "/* Localized */\n\"CFBundleDisplayName\" = \"Field \\\"Notes\\\"\";\n"
              "// comment\n\"CFBundleName\"=\"Notes\";\n"));
    auto table = readStringsTable(text);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->value(QStringLiteral("CFBundleDisplayName")).toString(),
              QStringLiteral("Field \"Notes\""));
    EXPECT_EQ(table->value(QStringLiteral("CFBundleName")).toString(), QStringLiteral("Notes"));

    const QString utf16 = dir.filePath(QStringLiteral("utf16.strings"));
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray encoded =
        encoder.encode(QStringLiteral("\"CFBundleDisplayName\" = \"Карта\";"));
    ASSERT_TRUE(testsupport::writeFile(utf16, encoded));
    table = readStringsTable(utf16);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->value(QStringLiteral("CFBundleDisplayName")).toString(),
              QStringLiteral("Карта"));

    const QString binary = dir.filePath(QStringLiteral("binary.strings"));
    ASSERT_TRUE(PropertyList::writeFile(
        binary, QVariantMap{{QStringLiteral("CFBundleDisplayName"), QStringLiteral("Atlas")}},
        PropertyList::Format::Binary));
    table = readStringsTable(binary);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->value(QStringLiteral("CFBundleDisplayName")).toString(),
              QStringLiteral("Atlas"));
}

TEST(StringsTable, BrokenTablesGiveNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("broken.strings"));
    for (const QByteArray &broken :
         {QByteArray("\"CFBundleDisplayName\" = \"unterminated;"), QByteArray("\"a\" \"b\";"),
          QByteArray("\"a\" = \"b\""), QByteArray("\xff\xfe\xff", 3),
          QByteArray("\x80\x81 not utf8")}) {
        ASSERT_TRUE(testsupport::writeFile(path, broken));
        EXPECT_FALSE(readStringsTable(path)) << broken.toStdString();
    }
    EXPECT_FALSE(readStringsTable(dir.filePath(QStringLiteral("missing.strings"))));
}
