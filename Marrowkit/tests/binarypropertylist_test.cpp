// The hardened binary reader, fed hand-built lists: what libplist writes must
// read back, and every structural lie (cycles, wild offsets, impossible
// counts, shared subtrees that would explode) must give nothing quickly.
#include "Marrowkit/plist/propertylist.h"
#include "Marrowkit/plist/propertylisterror.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif

// Builds "bplist00" files object by object.
class BplistBuilder
{
public:
    explicit BplistBuilder(int referenceSize = 1) : m_refSize(referenceSize) {}
    int add(const QByteArray &encoded)
    {
        m_objects.push_back(encoded);
        return int(m_objects.size()) - 1;
    }
    int ascii(const QByteArray &text) { return add(marker(0x50, text.size()) + text); }
    int integer(qint8 value) { return add(QByteArray("\x10", 1) + char(value)); }
    int array(const std::vector<int> &refs)
    {
        return add(marker(0xA0, int(refs.size())) + bytes(refs));
    }
    int dict(const std::vector<int> &keys, const std::vector<int> &values)
    {
        return add(marker(0xD0, int(keys.size())) + bytes(keys) + bytes(values));
    }

    QByteArray build(int top, quint64 objectCountOverride = 0) const
    {
        QByteArray out("bplist00");
        std::vector<int> offsets;
        for (const QByteArray &object : m_objects) {
            offsets.push_back(int(out.size()));
            out += object;
        }
        const int tableOffset = int(out.size());
        for (int offset : offsets) {
            out += char(offset >> 8);
            out += char(offset & 0xff);
        }
        QByteArray trailer(32, '\0');
        trailer[6] = 2; // offset size
        trailer[7] = char(m_refSize);
        putBigEndian(trailer, 8, objectCountOverride ? objectCountOverride : m_objects.size());
        putBigEndian(trailer, 16, quint64(top));
        putBigEndian(trailer, 24, quint64(tableOffset));
        return out + trailer;
    }

private:
    static QByteArray marker(int type, int count)
    {
        if (count < 15) {
            return QByteArray(1, char(type | count));
        }
        QByteArray m(1, char(type | 0x0f));
        m += char(0x11); // two-byte integer count
        m += char(count >> 8);
        m += char(count & 0xff);
        return m;
    }
    QByteArray bytes(const std::vector<int> &refs) const
    {
        QByteArray b;
        for (int r : refs) {
            if (m_refSize == 2) {
                b += char(r >> 8);
            }
            b += char(r & 0xff);
        }
        return b;
    }
    static void putBigEndian(QByteArray &to, int at, quint64 value)
    {
        for (int i = 7; i >= 0; --i, value >>= 8) {
            to[at + i] = char(value & 0xff);
        }
    }
    int m_refSize;
    std::vector<QByteArray> m_objects;
};

TEST(BinaryPropertyList, ReadsWhatLibplistWrites)
{
    const QVariantMap original{
        {QStringLiteral("ascii"), QStringLiteral("plain")},
        {QStringLiteral("unicode"), QStringLiteral("日本語 ✓")},
        {QStringLiteral("long"), QString(300, QLatin1Char('x'))},
        {QStringLiteral("negative"), qint64(-5)},
        {QStringLiteral("large"), qint64(1) << 62},
        {QStringLiteral("falsy"), false},
        {QStringLiteral("uid"), QVariant::fromValue(PropertyListUid{300})},
        {QStringLiteral("many"), QVariantList(40, QVariant(qint64(1)))},
    };
    auto data = PropertyList::toData(original, PropertyList::Format::Binary).value();
    ASSERT_TRUE(data);
    auto read = PropertyList::dictionaryFromData(*data).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->value(QStringLiteral("unicode")).toString(), QStringLiteral("日本語 ✓"));
    EXPECT_EQ(read->value(QStringLiteral("long")).toString().size(), 300);
    EXPECT_EQ(read->value(QStringLiteral("negative")).toLongLong(), -5);
    EXPECT_EQ(read->value(QStringLiteral("large")).toLongLong(), qint64(1) << 62);
    EXPECT_EQ(read->value(QStringLiteral("falsy")).typeId(), QMetaType::Bool);
    EXPECT_EQ(read->value(QStringLiteral("uid")).value<PropertyListUid>().value, 300u);
    EXPECT_EQ(read->value(QStringLiteral("many")).toList().size(), 40);
}

TEST(BinaryPropertyList, HandBuiltListReads)
{
    BplistBuilder b;
    const int key = b.ascii("k");
    const int value = b.integer(7);
    const int root = b.dict({key}, {value});
    auto read = PropertyList::dictionaryFromData(b.build(root)).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->value(QStringLiteral("k")).toLongLong(), 7);
}

TEST(BinaryPropertyList, StringsWithInnerNulReadWithoutCrashing)
{
    BplistBuilder b;
    const int text = b.ascii(QByteArray("a\0b", 3));
    auto read = PropertyList::fromData(b.build(b.array({text}))).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toList().value(0).toString().size(), 3);
}

TEST(BinaryPropertyList, ReferenceCyclesAreRefused)
{
    BplistBuilder b;
    // Object 0 is an array holding itself.
    b.add(QByteArray("\xA1\x00", 2));
    EXPECT_FALSE(PropertyList::fromData(b.build(0)).value());

    BplistBuilder indirect;
    indirect.add(QByteArray("\xA1\x01", 2)); // 0 -> 1
    indirect.add(QByteArray("\xA1\x00", 2)); // 1 -> 0
    EXPECT_FALSE(PropertyList::fromData(indirect.build(0)).value());
}

// Level n is an array referring to level n-1 twice: n + 1 objects that
// expand to 2^(n+1) - 1 values.
QByteArray ladder(int levels)
{
    BplistBuilder b;
    int level = b.integer(1);
    for (int i = 0; i < levels; ++i) {
        level = b.array({level, level});
    }
    return b.build(level);
}

TEST(BinaryPropertyList, SharedObjectsReadWhileTheirExpansionStaysSmall)
{
    auto read = PropertyList::fromData(ladder(12)).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toList().size(), 2);
    const auto written = PropertyList::toData(*read, PropertyList::Format::Binary).value();
    ASSERT_TRUE(written) << "what reads can be written";
    const auto again = PropertyList::fromData(*written).value();
    ASSERT_TRUE(again) << "and read again";
    EXPECT_EQ(*again, *read);
}

TEST(BinaryPropertyList, LaddersThatWouldExpandBeyondTheBudgetAreRefused)
{
    // 2^20 values just fit the smallest budget; 2^21 do not. Depth 40 would
    // expand to 2^41 values: walking it would never finish.
    EXPECT_TRUE(PropertyList::fromData(ladder(18)).value());
    EXPECT_FALSE(PropertyList::fromData(ladder(20)).value());
    EXPECT_FALSE(PropertyList::fromData(ladder(40)).value());

    // Shared objects under dictionaries count as often as they are named.
    BplistBuilder b;
    const int key = b.ascii("k");
    const int other = b.ascii("l");
    int level = b.integer(1);
    for (int i = 0; i < 40; ++i) {
        level = b.dict({key, other}, {level, level});
    }
    EXPECT_FALSE(PropertyList::fromData(b.build(level)).value());
}

TEST(BinaryPropertyList, RefusalsNameTheLimitThatWasReached)
{
    const auto wide = PropertyList::fromData(ladder(20));
    ASSERT_TRUE(wide.isFailure());
    EXPECT_EQ(wide.error()->domain, PropertyListError::errorDomain());
    EXPECT_EQ(wide.error()->code, PropertyListError::ExpandsTooFar);
    EXPECT_EQ(wide.error()->localizedDescription(),
              QStringLiteral("The property list expands to more than 1048576 values"));

    BplistBuilder b(2);
    int level = b.integer(0);
    for (int i = 0; i <= PropertyList::maximumDepth; ++i) {
        level = b.array({level});
    }
    const auto deep = PropertyList::fromData(b.build(level));
    ASSERT_TRUE(deep.isFailure());
    EXPECT_EQ(deep.error()->code, PropertyListError::TooDeep);
    EXPECT_EQ(deep.error()->localizedDescription(),
              QStringLiteral("The property list nests deeper than 256 levels"));

    const auto truncated = PropertyList::fromData(ladder(3).chopped(1));
    ASSERT_TRUE(truncated.isFailure());
    EXPECT_EQ(truncated.error()->code, PropertyListError::NotAPropertyList);
}

TEST(BinaryPropertyList, StructuralLiesGiveNothing)
{
    BplistBuilder b;
    const int item = b.integer(1);
    const int root = b.array({item});
    const QByteArray good = b.build(root);
    ASSERT_TRUE(PropertyList::fromData(good).value());

    EXPECT_FALSE(PropertyList::fromData(b.build(5)).value()) << "top object out of range";
    EXPECT_FALSE(PropertyList::fromData(b.build(root, 1u << 30)).value())
        << "object count beyond the file";

    BplistBuilder wild;
    wild.add(QByteArray("\xA1\x09", 2)); // reference to object 9 of 1
    EXPECT_FALSE(PropertyList::fromData(wild.build(0)).value());

    BplistBuilder huge;
    // An array claiming 65535 entries with no room for them.
    huge.add(QByteArray("\xAF\x11\xff\xff\x00", 5));
    EXPECT_FALSE(PropertyList::fromData(huge.build(0)).value());

    BplistBuilder badKey;
    const int number = badKey.integer(3);
    EXPECT_FALSE(PropertyList::fromData(badKey.build(badKey.dict({number}, {number}))).value())
        << "dictionary keys must be strings";

    QByteArray badOffsetSize = good;
    badOffsetSize[badOffsetSize.size() - 32 + 6] = 0;
    EXPECT_FALSE(PropertyList::fromData(badOffsetSize).value());

    QByteArray tableOutside = good;
    tableOutside[tableOutside.size() - 1] = char(0xff);
    EXPECT_FALSE(PropertyList::fromData(tableOutside).value());
}

[[noreturn]] void readBounded(const QByteArray &data, rlim_t limit)
{
    const rlimit bound{limit, limit};
    setrlimit(RLIMIT_AS, &bound);
    std::_Exit(PropertyList::fromData(data).value() ? 1 : 0);
}

// Reads `data` in a child process whose address space may grow by at most
// `headroom` bytes; the child exits with 0 when the list was refused.
void readRefusedWithin(const QByteArray &data, quint64 headroom)
{
    quint64 pages = 0;
    QFile statm(QStringLiteral("/proc/self/statm"));
    ASSERT_TRUE(statm.open(QIODevice::ReadOnly));
    pages = statm.readAll().split(' ').value(0).toULongLong();
    ASSERT_GT(pages, 0u);
    const rlim_t limit = rlim_t(pages * quint64(sysconf(_SC_PAGESIZE)) + headroom);
    EXPECT_EXIT(readBounded(data, limit), ::testing::ExitedWithCode(0), "");
}

TEST(BinaryPropertyListDeathTest, ClaimedObjectCountsCostLittleAhead)
{
    if (underAddressSanitizer) {
        GTEST_SKIP() << "address space limits do not suit the address sanitizer";
    }
    // 64 MB of zeros whose trailer claims 32 million objects behind a table
    // of one-byte offsets: no object is ever reached (offset 0 is the header),
    // so no more than a small slot per offset may be set aside ahead.
    const qsizetype size = qsizetype(64) << 20;
    QByteArray data(size, '\0');
    std::memcpy(data.data(), "bplist00", 8);
    const quint64 tableOffset = quint64(size) / 2;
    const quint64 count = quint64(size) - 32 - tableOffset;
    uchar *trailer = reinterpret_cast<uchar *>(data.data()) + size - 32;
    trailer[6] = 1; // offset size
    trailer[7] = 4; // reference size
    for (int i = 0; i < 8; ++i) {
        trailer[8 + i] = uchar(count >> (56 - 8 * i));
        trailer[24 + i] = uchar(tableOffset >> (56 - 8 * i));
    }
    readRefusedWithin(data, quint64(256) << 20);
}

TEST(BinaryPropertyList, NestingBeyondTheLimitIsRefused)
{
    auto nested = [](int depth) {
        BplistBuilder b(2);
        int level = b.integer(0);
        for (int i = 0; i < depth; ++i) {
            level = b.array({level});
        }
        return b.build(level);
    };
    EXPECT_TRUE(PropertyList::fromData(nested(PropertyList::maximumDepth - 1)).value());
    EXPECT_FALSE(PropertyList::fromData(nested(PropertyList::maximumDepth + 1)).value());
    EXPECT_FALSE(PropertyList::fromData(nested(20000)).value()) << "no stack overflow either";
}

TEST(PropertyListXml, NulCharactersAreRefused)
{
    const QByteArray head(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><string>");
    const QByteArray tail("</string></dict></plist>");
    EXPECT_TRUE(PropertyList::fromData(head + "fine &#65; text" + tail).value());
    EXPECT_FALSE(PropertyList::fromData(head + "&#0;" + tail).value());
    EXPECT_FALSE(PropertyList::fromData(head + "&#x000;" + tail).value());
    EXPECT_FALSE(PropertyList::fromData(head + QByteArray("raw\0nul", 7) + tail).value());
}

} // namespace
