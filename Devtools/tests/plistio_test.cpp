// The stand-in's property-list layer on hostile input: deep nesting, shared
// sub-objects, lying trailers, NUL characters, dates far from 2001, and files
// that are FIFOs, links or too large. Every case must end in a value or a
// clear error: no crash, no hang, no unbounded growth.
#include "binaryplistbuilder.h"
#include "fuzz/plistroundtrip.h"
#include "plistio.h"
#include "tests/support/testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
              int ms = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

std::optional<QVariant> readData(const QByteArray &data, QString *error = nullptr)
{
    return PlistIO::fromData(data, error);
}

// Reads what `value` writes as XML.
std::optional<QVariant> throughXml(const QVariant &value)
{
    const auto xml = PlistIO::toXml(value);
    return xml ? readData(*xml) : std::nullopt;
}

QByteArray nestedXml(int depth)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    xml.reserve(depth * 15 + 100);
    for (int i = 0; i < depth; ++i) {
        xml.append("<array>");
    }
    for (int i = 0; i < depth; ++i) {
        xml.append("</array>");
    }
    return xml + "</plist>\n";
}

QByteArray nestedBinary(int depth)
{
    BinaryPlistBuilder builder;
    // Object i holds object i + 1; the last one is empty.
    for (int i = 0; i < depth - 1; ++i) {
        builder.array({i + 1});
    }
    builder.array({});
    return builder.build(0);
}

QByteArray xmlWith(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">" +
           body + "</plist>\n";
}

} // namespace

TEST(PlistIO, EveryTypeSurvivesWritingAndReading)
{
    const QVariantMap value = {
        {QStringLiteral("text"), QStringLiteral("a < b & c > d, \"quoted\", tab\t, CR\r, é, 😀")},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("negative"), qint64(-42)},
        {QStringLiteral("largest"), std::numeric_limits<qint64>::max()},
        {QStringLiteral("unsigned"), std::numeric_limits<qulonglong>::max()},
        {QStringLiteral("real"), 0.1},
        {QStringLiteral("negative zero"), -0.0},
        {QStringLiteral("true"), true},
        {QStringLiteral("false"), false},
        {QStringLiteral("date"), utc(2016, 9, 13, 12, 30, 15, 250)},
        {QStringLiteral("data"), QByteArray("\0\1\2binary\xff", 10)},
        {QStringLiteral("list"), QVariantList{qint64(1), QVariantList{}, QVariantMap{}}},
        {QStringLiteral("nested"), QVariantMap{{QStringLiteral("k"), QStringLiteral("v")}}},
    };
    const auto back = throughXml(value);
    ASSERT_TRUE(back);
    EXPECT_TRUE(PlistRoundTrip::sameValue(value, *back));
    // Written in the customary layout.
    const QByteArray xml = *PlistIO::toXml(QVariantMap{{QStringLiteral("state"), 1}});
    EXPECT_TRUE(xml.contains("<plist version=\"1.0\">\n<dict>\n\t<key>state</key>\n"
                             "\t<integer>1</integer>\n</dict>\n</plist>\n"))
        << xml.constData();
}

TEST(PlistIO, ReadsBinaryListsOfEveryType)
{
    BinaryPlistBuilder builder;
    const int keys[] = {builder.ascii("name"),  builder.utf16(QStringLiteral("ünïcode")),
                        builder.ascii("count"), builder.ascii("big"),
                        builder.ascii("ratio"), builder.ascii("on"),
                        builder.ascii("bytes"), builder.ascii("list")};
    const int values[] = {builder.ascii("iPhone 6"),
                          builder.utf16(QStringLiteral("😀")),
                          builder.integer(-7),
                          builder.unsignedInteger(~quint64(0)),
                          builder.real(2.5),
                          builder.boolean(true),
                          builder.data(QByteArray("\0x", 2)),
                          builder.array({})};
    const int top = builder.dictionary(QList<int>(std::begin(keys), std::end(keys)),
                                       QList<int>(std::begin(values), std::end(values)));
    QString error;
    const auto value = readData(builder.build(top), &error);
    ASSERT_TRUE(value) << error.toStdString();
    const QVariantMap expected = {
        {QStringLiteral("name"), QStringLiteral("iPhone 6")},
        {QStringLiteral("ünïcode"), QStringLiteral("😀")},
        {QStringLiteral("count"), qint64(-7)},
        {QStringLiteral("big"), std::numeric_limits<qulonglong>::max()},
        {QStringLiteral("ratio"), 2.5},
        {QStringLiteral("on"), true},
        {QStringLiteral("bytes"), QByteArray("\0x", 2)},
        {QStringLiteral("list"), QVariantList{}},
    };
    EXPECT_TRUE(PlistRoundTrip::sameValue(*value, expected));
}

TEST(PlistIO, DatesKeepTheirYearFarFrom2001InBothFormats)
{
    // 2100-01-01 is 3124137600 s after 2001; a 32-bit cut made it 1932-12-13.
    for (const QDateTime &date : {utc(2100, 1, 1), utc(1900, 1, 1), utc(1933, 1, 1),
                                  utc(9999, 12, 31, 23, 59, 59), utc(1, 1, 1)}) {
        const auto xml = PlistIO::toXml(QVariantList{date});
        ASSERT_TRUE(xml) << date.toString(Qt::ISODate).toStdString();
        const auto back = readData(*xml);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->toList().value(0).toDateTime(), date)
            << date.toString(Qt::ISODate).toStdString();
    }
    EXPECT_TRUE(PlistIO::toXml(utc(2100, 1, 1))->contains("<date>2100-01-01T00:00:00Z</date>"));

    BinaryPlistBuilder builder;
    const int top = builder.array({builder.date(3124137600.0), builder.date(-3155760000.0),
                                   builder.date(-0.5), builder.date(0.25)});
    const auto value = readData(builder.build(top));
    ASSERT_TRUE(value);
    const QVariantList dates = value->toList();
    ASSERT_EQ(dates.size(), 4);
    EXPECT_EQ(dates[0].toDateTime(), utc(2100, 1, 1));
    EXPECT_EQ(dates[1].toDateTime(), utc(1901, 1, 1));
    // Half a second before 2001, not half a second after.
    EXPECT_EQ(dates[2].toDateTime(), utc(2000, 12, 31, 23, 59, 59, 500));
    EXPECT_EQ(dates[3].toDateTime(), utc(2001, 1, 1, 0, 0, 0, 250));
    EXPECT_TRUE(PlistIO::toXml(dates[2])->contains("<date>2000-12-31T23:59:59.500Z</date>"));

    // Beyond what the XML form can spell: refused, never wrapped around.
    QString error;
    EXPECT_FALSE(PlistIO::toXml(utc(10000, 1, 1), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("date")));
    BinaryPlistBuilder far;
    EXPECT_FALSE(readData(far.build(far.date(1.0e15))));
    BinaryPlistBuilder notANumber;
    EXPECT_FALSE(readData(notANumber.build(notANumber.date(std::nan("")))));
    EXPECT_FALSE(readData(xmlWith("<date>10000-01-01T00:00:00Z</date>")));
    EXPECT_FALSE(readData(xmlWith("<date>2016-02-30T00:00:00Z</date>")));
}

TEST(PlistIO, TextsHoldingNulAreRefusedNotFatal)
{
    // libplist asserted (and ended the whole process) on each of these.
    QString error;
    BinaryPlistBuilder asciiValue;
    EXPECT_FALSE(readData(asciiValue.build(asciiValue.ascii(QByteArray("a\0b", 3))), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("NUL"))) << error.toStdString();

    BinaryPlistBuilder asciiKey;
    const int key = asciiKey.ascii(QByteArray("UD\0ID", 5));
    EXPECT_FALSE(readData(asciiKey.build(asciiKey.dictionary({key}, {asciiKey.integer(1)}))));

    BinaryPlistBuilder utf16Value;
    EXPECT_FALSE(readData(utf16Value.build(utf16Value.utf16(QString(QChar(0))))));
    BinaryPlistBuilder loneSurrogate;
    EXPECT_FALSE(readData(loneSurrogate.build(loneSurrogate.utf16(QString(QChar(0xD800))))));
    BinaryPlistBuilder control;
    EXPECT_FALSE(readData(control.build(control.ascii("bell\x07"))));

    EXPECT_FALSE(readData(xmlWith("<string>a&#0;b</string>")));
    EXPECT_FALSE(readData(xmlWith("<dict><key>a&#0;</key><true/></dict>")));
    EXPECT_FALSE(readData(xmlWith("<string>bell&#7;</string>")));

    // The writer refuses them too, instead of cutting the text short.
    EXPECT_FALSE(PlistIO::toXml(QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")));
    EXPECT_FALSE(PlistIO::toXml(QVariantMap{{QString(QChar(0)), true}}));
}

TEST(PlistIO, DeepNestingIsRefusedBeforeAnyTreeIsBuilt)
{
    QString error;
    // 100,000 nested arrays: a binary list of 400 KB, an XML list of 1.5 MB.
    EXPECT_FALSE(readData(nestedBinary(100000), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("deeply"))) << error.toStdString();
    error.clear();
    EXPECT_FALSE(readData(nestedXml(100000), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("deeply"))) << error.toStdString();
    // A few MB of nesting, as in a planted file.
    EXPECT_FALSE(readData(nestedXml(700000)));

    // The limit itself: 128 levels read, 129 do not.
    EXPECT_TRUE(readData(nestedXml(128)));
    EXPECT_FALSE(readData(nestedXml(129)));
    EXPECT_TRUE(readData(nestedBinary(128)));
    EXPECT_FALSE(readData(nestedBinary(129)));

    // What reads can be written; deeper values are refused by the writer.
    QVariant deep = QVariantList{};
    for (int i = 1; i < 128; ++i) {
        deep = QVariantList{deep};
    }
    EXPECT_TRUE(PlistIO::toXml(deep));
    EXPECT_FALSE(PlistIO::toXml(QVariantList{deep}));
}

TEST(PlistIO, SharedObjectsCannotExpandWithoutBound)
{
    // A ladder: each array holds the previous one twice, so 64 rungs expand
    // to 2^64 values while the file stays small.
    BinaryPlistBuilder ladder;
    int rung = ladder.ascii("leaf");
    for (int i = 0; i < 64; ++i) {
        rung = ladder.array({rung, rung});
    }
    QString error;
    EXPECT_FALSE(readData(ladder.build(rung), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("budget"))) << error.toStdString();

    // A short ladder is fine, and every rung reads as its full expansion.
    BinaryPlistBuilder small;
    int top = small.ascii("leaf");
    for (int i = 0; i < 10; ++i) {
        top = small.array({top, top});
    }
    const auto value = readData(small.build(top));
    ASSERT_TRUE(value);
    QVariant walk = *value;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(walk.toList().size(), 2);
        walk = walk.toList().at(1);
    }
    EXPECT_EQ(walk.toString(), QStringLiteral("leaf"));
    EXPECT_FALSE(PlistRoundTrip::check(small.build(top)));

    // Counted as written XML, not as values: a ladder of far fewer values,
    // but with long texts at the bottom, would write megabytes from a file
    // of a few hundred bytes.
    BinaryPlistBuilder texts;
    int step = texts.ascii(QByteArray(200, 'x'));
    for (int i = 0; i < 12; ++i) {
        step = texts.array({step, step});
    }
    EXPECT_FALSE(readData(texts.build(step), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("budget"))) << error.toStdString();
    BinaryPlistBuilder fewerTexts;
    step = fewerTexts.ascii(QByteArray(200, 'x'));
    for (int i = 0; i < 6; ++i) {
        step = fewerTexts.array({step, step});
    }
    EXPECT_FALSE(PlistRoundTrip::check(fewerTexts.build(step)));
    EXPECT_TRUE(readData(fewerTexts.build(step)));

    // A large string shared from many places counts once per place; the
    // same data written out in full reads.
    BinaryPlistBuilder wide;
    const int big = wide.data(QByteArray(1 << 20, 'x'));
    EXPECT_FALSE(readData(wide.build(wide.array(QList<int>(100, big)))));
    BinaryPlistBuilder once;
    EXPECT_TRUE(readData(once.build(once.array({once.data(QByteArray(1 << 20, 'x'))}))));
}

TEST(PlistIO, LyingBinaryStructureIsRefused)
{
    BinaryPlistBuilder builder;
    const int top = builder.array({builder.ascii("a"), builder.integer(1)});
    const QByteArray valid = builder.build(top);
    ASSERT_TRUE(readData(valid));

    using Trailer = BinaryPlistBuilder::Trailer;
    const std::pair<const char *, Trailer> lies[] = {
        {"huge object count", Trailer{quint64(1) << 62, {}, {}, {}, {}}},
        {"all-ones object count", Trailer{~quint64(0), {}, {}, {}, {}}},
        {"no objects", Trailer{quint64(0), {}, {}, {}, {}}},
        {"top object out of range", Trailer{{}, quint64(3), {}, {}, {}}},
        {"table beyond the file", Trailer{{}, {}, quint64(1) << 40, {}, {}}},
        {"table inside the header", Trailer{{}, {}, quint64(2), {}, {}}},
        {"offset size zero", Trailer{{}, {}, {}, 0, {}}},
        {"offset size nine", Trailer{{}, {}, {}, 9, {}}},
        {"reference size zero", Trailer{{}, {}, {}, {}, 0}},
    };
    for (const auto &[what, trailer] : lies) {
        QString error;
        EXPECT_FALSE(readData(builder.build(top, trailer), &error)) << what;
        EXPECT_FALSE(error.isEmpty()) << what;
    }

    // Objects that lie about their own size or point nowhere.
    const QList<QByteArray> objects = {
        QByteArray("\x5f\x13\x40\x00\x00\x00\x00\x00\x00\x00", 10), // string of 2^62 chars
        QByteArray("\x6f\x13\x7f\xff\xff\xff\xff\xff\xff\xff", 10), // UTF-16 string, 2^63 units
        QByteArray("\x4f\x13\xff\xff\xff\xff\xff\xff\xff\xff", 10), // data of 2^64-1 bytes
        QByteArray("\xaf\x13\x10\x00\x00\x00\x00\x00\x00\x00", 10), // array of 2^60 references
        QByteArray("\xdf\x14", 2),                                  // 16-byte length
        QByteArray("\x15", 1),                                      // 32-byte integer
        QByteArray("\x13\x01", 2),                                  // integer cut short
        QByteArray("\x21\x00\x00", 3),                              // two-byte real
        QByteArray("\x00", 1),                                      // null
        QByteArray("\x0f", 1),                                      // fill
        QByteArray("\x80\x01", 2),                                  // UID
        QByteArray("\xc1\x00", 2),                                  // set
        QByteArray("\x7f", 1),                                      // unknown type
    };
    for (const QByteArray &object : objects) {
        BinaryPlistBuilder hostile;
        EXPECT_FALSE(readData(hostile.build(hostile.raw(object)))) << object.toHex().constData();
    }
    BinaryPlistBuilder dangling;
    EXPECT_FALSE(readData(dangling.build(dangling.array({5}))));
    BinaryPlistBuilder cycle;
    EXPECT_FALSE(readData(cycle.build(cycle.array({0}))));
    BinaryPlistBuilder indirectCycle; // 0: [1], 1: {2: 0}, 2: "key"
    indirectCycle.array({1});
    indirectCycle.dictionary({2}, {0});
    indirectCycle.ascii("key");
    EXPECT_FALSE(readData(indirectCycle.build(0)));
    BinaryPlistBuilder numberKey; // 0: {1: 1}, 1: 3
    numberKey.dictionary({1}, {1});
    numberKey.integer(3);
    EXPECT_FALSE(readData(numberKey.build(0)));
    EXPECT_FALSE(readData(QByteArray("bplist00")));
    EXPECT_FALSE(readData(QByteArray("bplist01") + valid.mid(8)));
    EXPECT_FALSE(readData(valid.left(valid.size() - 1)));
}

TEST(PlistIO, MalformedXmlGivesAReason)
{
    const QList<QByteArray> broken = {
        "<plist><array></plist>",
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><string>a</string></dict></plist>",
        "<plist><true/><false/></plist>",
        "<plist></plist>",
        "<notaplist/>",
        "<plist><integer>12x</integer></plist>",
        "<plist><integer>99999999999999999999999</integer></plist>",
        "<plist><real>one</real></plist>",
        "<plist><data>!!!</data></plist>",
        "<plist><string>a<b/></string></plist>",
        "<plist><string>&unknown;</string></plist>",
        "<plist><true>yes</true></plist>",
        "<plist><foo/></plist>",
        "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\">]><plist><string>&a;&a;</string></plist>",
        "<plist><string>x</string></plist><plist/>",
        "text",
    };
    for (const QByteArray &xml : broken) {
        QString error;
        EXPECT_FALSE(readData(xml, &error)) << xml.constData();
        EXPECT_FALSE(error.isEmpty()) << xml.constData();
    }
    // Comments, whitespace and wrapped base64 are fine.
    const auto value = readData(
        xmlWith("<!-- note --><dict>\n\t<key>d</key>\n\t<data>\n\tAAEC\n\tAw==\n\t</data>\n"
                "<key>i</key><integer> 0x10 </integer><key>r</key><real>-inf</real></dict>"));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->toMap().value(QStringLiteral("d")).toByteArray(), QByteArray("\0\1\2\3", 4));
    EXPECT_EQ(value->toMap().value(QStringLiteral("i")).toLongLong(), 16);
    EXPECT_TRUE(std::isinf(value->toMap().value(QStringLiteral("r")).toDouble()));
}

TEST(PlistIO, ReadsOnlyRegularFilesWithinTheLimit)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.plist"));
    ASSERT_TRUE(PlistIO::writeXml(good, QVariantMap{{QStringLiteral("a"), 1}}));
    EXPECT_TRUE(PlistIO::readDictionary(good, PlistIO::recordSizeLimit));
    // No half-written temporary files are left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("good.plist")});

    QString error;
    const QString large = dir.filePath(QStringLiteral("large.plist"));
    ASSERT_TRUE(PlistIO::writeXml(
        large, QVariantMap{{QStringLiteral("a"), QString(70000, QLatin1Char('x'))}}));
    EXPECT_FALSE(PlistIO::read(large, PlistIO::recordSizeLimit, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("larger than"))) << error.toStdString();
    EXPECT_TRUE(PlistIO::read(large, PlistIO::bundleSizeLimit));

    const QString toZero = dir.filePath(QStringLiteral("zero.plist"));
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(toZero).constData()), 0);
    EXPECT_FALSE(PlistIO::read(toZero, PlistIO::maximumFileSize, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("symbolic link"))) << error.toStdString();
    const QString toGood = dir.filePath(QStringLiteral("link.plist"));
    ASSERT_EQ(::symlink(QFile::encodeName(good).constData(), QFile::encodeName(toGood).constData()),
              0);
    EXPECT_FALSE(PlistIO::read(toGood, PlistIO::recordSizeLimit));
    EXPECT_FALSE(PlistIO::read(dir.path(), PlistIO::recordSizeLimit, &error));
    EXPECT_FALSE(PlistIO::read(dir.filePath(QStringLiteral("missing")), PlistIO::recordSizeLimit));

    // A FIFO nobody writes to: refused at once (a blocking open would wait
    // for a writer for ever; the writer below only rescues a hung read).
    const QString fifo = dir.filePath(QStringLiteral("fifo.plist"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto reading = std::async(std::launch::async, [&fifo] {
        QString reason;
        const bool read = PlistIO::read(fifo, PlistIO::recordSizeLimit, &reason).has_value();
        return std::make_pair(read, reason);
    });
    const bool finished = testsupport::waitFor(
        [&] { return reading.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    if (!finished) {
        QFile writer(fifo);
        writer.open(QIODevice::WriteOnly);
    }
    ASSERT_TRUE(finished) << "reading a FIFO blocked";
    const auto [read, reason] = reading.get();
    EXPECT_FALSE(read);
    EXPECT_TRUE(reason.contains(QStringLiteral("not a regular file"))) << reason.toStdString();
}

TEST(PlistIO, WriterRefusesValuesWithoutAPropertyListForm)
{
    QString error;
    EXPECT_FALSE(PlistIO::toXml(QVariant(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(
        PlistIO::toXml(QVariantMap{{QStringLiteral("a"), QVariant::fromValue(QSize(1, 1))}}));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.plist"));
    EXPECT_FALSE(PlistIO::writeXml(path, QVariant(), &error));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}
