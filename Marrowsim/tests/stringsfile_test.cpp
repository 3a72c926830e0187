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
                    binary,
                    QVariantMap{{QStringLiteral("CFBundleDisplayName"), QStringLiteral("Atlas")}},
                    PropertyList::Format::Binary)
                    .isSuccess());
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

namespace {

// The table read from a file holding `bytes`.
std::optional<QVariantMap> tableFrom(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("InfoPlist.strings"));
    if (!testsupport::writeFile(path, bytes)) {
        return std::nullopt;
    }
    return readStringsTable(path);
}

QByteArray encoded(const QString &text, QStringEncoder::Encoding encoding, bool bom)
{
    QStringEncoder encoder(encoding,
                           bom ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return encoder.encode(text);
}

} // namespace

TEST(StringsTable, ReadsTheWholeTextForm)
{
    struct Case
    {
        const char *text;
        QVariantMap table;
    };
    const QString e = QString(QChar(0xe9));
    const QString grin = QString::fromUcs4(U"\U0001F600");
    const Case cases[] = {
        {"CFBundleDisplayName = \"Field Notes\";",
         {{QStringLiteral("CFBundleDisplayName"), QStringLiteral("Field Notes")}}},
        {"key_1.a$b:c/d-e = value-2.0;",
         {{QStringLiteral("key_1.a$b:c/d-e"), QStringLiteral("value-2.0")}}},
        {"/* a */ \"a\" /* b */ = // c\n \"b\" /**/; // end",
         {{QStringLiteral("a"), QStringLiteral("b")}}},
        {"e = \"t\\tn\\nr\\rq\\\"s\\\\a\\'\";",
         {{QStringLiteral("e"), QStringLiteral("t\tn\nr\rq\"s\\a'")}}},
        {"u = \"caf\\U00e9 \\U00E9 \\Ue9\";",
         {{QStringLiteral("u"),
           QStringLiteral("caf") + e + QLatin1Char(' ') + e + QLatin1Char(' ') + e}}},
        {"o = \"\\101\\102C\\7\";", {{QStringLiteral("o"), QStringLiteral("ABC\a")}}},
        {"s = \"\\UD83D\\UDE00\";", {{QStringLiteral("s"), grin}}},
        {"\"only\";", {{QStringLiteral("only"), QStringLiteral("only")}}},
        {"a = b; a = c;", {{QStringLiteral("a"), QStringLiteral("c")}}},
        {"{ \"a\" = \"b\"; c = d; }",
         {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("c"), QStringLiteral("d")}}},
        {"list = (one, \"two\", ); map = { k = v; }; bytes = <0fAB 10>;",
         {{QStringLiteral("list"), QVariantList{QStringLiteral("one"), QStringLiteral("two")}},
          {QStringLiteral("map"), QVariantMap{{QStringLiteral("k"), QStringLiteral("v")}}},
          {QStringLiteral("bytes"), QByteArray("\x0f\xab\x10", 3)}}},
        {"", {}},
        {"  /* nothing but a comment */\n// and another", {}},
    };
    for (const Case &c : cases) {
        const auto table = tableFrom(QByteArray(c.text));
        ASSERT_TRUE(table) << c.text;
        EXPECT_EQ(*table, c.table) << c.text;
    }

    // The same table in every encoding a strings file comes in.
    const QString text = QStringLiteral("CFBundleDisplayName = \"Карта ") + e + grin +
                         QStringLiteral("\"; /* ") + grin + QStringLiteral(" */");
    const QVariantMap expected{
        {QStringLiteral("CFBundleDisplayName"), QStringLiteral("Карта ") + e + grin}};
    for (const QByteArray &bytes :
         {encoded(text, QStringEncoder::Utf8, false), encoded(text, QStringEncoder::Utf8, true),
          encoded(text, QStringEncoder::Utf16LE, true),
          encoded(text, QStringEncoder::Utf16BE, true),
          encoded(text, QStringEncoder::Utf16LE, false),
          encoded(text, QStringEncoder::Utf16BE, false)}) {
        const auto table = tableFrom(bytes);
        ASSERT_TRUE(table) << bytes.toHex().toStdString();
        EXPECT_EQ(*table, expected) << bytes.toHex().toStdString();
    }
}

TEST(StringsTable, MalformedTextGivesNothing)
{
    const QByteArray broken[] = {
        "a@b = c;",                // not a character of an unquoted text
        "a = b",                   // no semicolon
        "a = ;",                   // no value
        "= b;",                    // no key
        "a = \"b\" c;",            // two values
        "/* unterminated",         // comment without its end
        "a = \"\\U\";",            // \U without digits
        "a = \"\\UD800\";",        // half a surrogate pair
        "a = \"\\UDE00\\UD83D\";", // a pair in the wrong order
        "a = \"\\0\";",            // NUL
        "a = \"\\351\";",          // an octal escape above 0177
        "a = (b, c;",              // unterminated list
        "a = { b = c };",          // dictionary entry without semicolon
        "a = <0f1>;",              // odd number of hex digits
        "a = <zz>;",               // not hex
        "{ a = b; } c = d;",       // text after the dictionary
        "a = b; }",                // stray brace
    };
    for (const QByteArray &bytes : broken) {
        EXPECT_FALSE(tableFrom(bytes)) << bytes.toStdString();
    }
    EXPECT_FALSE(tableFrom(QByteArray("a = \"b\0\";", 9))) << "a raw NUL";
    EXPECT_FALSE(tableFrom(QByteArray("\xfe\xff\x00", 3))) << "half a UTF-16 unit";
    EXPECT_FALSE(tableFrom(QByteArray("\xff\xfe\x00\xd8", 4))) << "a lone surrogate in UTF-16";

    // Nesting deep enough to exhaust a recursive reader's stack.
    const QByteArray deep = "a = " + QByteArray(200000, '(') + QByteArray(200000, ')') + ";";
    EXPECT_FALSE(tableFrom(deep));
    // Larger than any strings table.
    QByteArray large("a = \"");
    large += QByteArray(qsizetype(maximumStringsTableSize) + 1, 'x') + "\";";
    EXPECT_FALSE(tableFrom(large));
}
