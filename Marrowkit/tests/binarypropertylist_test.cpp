// The hardened binary reader, fed hand-built lists: what libplist writes must
// read back, and every structural lie (cycles, wild offsets, impossible
// counts, shared subtrees that would explode) must give nothing quickly.
#include "Marrowkit/plist/propertylist.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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
    auto data = PropertyList::toData(original, PropertyList::Format::Binary);
    ASSERT_TRUE(data);
    auto read = PropertyList::dictionaryFromData(*data);
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
    auto read = PropertyList::dictionaryFromData(b.build(root));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->value(QStringLiteral("k")).toLongLong(), 7);
}

TEST(BinaryPropertyList, StringsWithInnerNulReadWithoutCrashing)
{
    BplistBuilder b;
    const int text = b.ascii(QByteArray("a\0b", 3));
    auto read = PropertyList::fromData(b.build(b.array({text})));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toList().value(0).toString().size(), 3);
}

TEST(BinaryPropertyList, ReferenceCyclesAreRefused)
{
    BplistBuilder b;
    // Object 0 is an array holding itself.
    b.add(QByteArray("\xA1\x00", 2));
    EXPECT_FALSE(PropertyList::fromData(b.build(0)));

    BplistBuilder indirect;
    indirect.add(QByteArray("\xA1\x01", 2)); // 0 -> 1
    indirect.add(QByteArray("\xA1\x00", 2)); // 1 -> 0
    EXPECT_FALSE(PropertyList::fromData(indirect.build(0)));
}

TEST(BinaryPropertyList, SharedSubtreesAreReadOnceNotExponentially)
{
    // Level n is an array referencing level n-1 twice: 2^60 paths, 61 objects.
    BplistBuilder b;
    int level = b.integer(1);
    for (int i = 0; i < 60; ++i) {
        level = b.array({level, level});
    }
    auto read = PropertyList::fromData(b.build(level));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toList().size(), 2);
}

TEST(BinaryPropertyList, StructuralLiesGiveNothing)
{
    BplistBuilder b;
    const int item = b.integer(1);
    const int root = b.array({item});
    const QByteArray good = b.build(root);
    ASSERT_TRUE(PropertyList::fromData(good));

    EXPECT_FALSE(PropertyList::fromData(b.build(5))) << "top object out of range";
    EXPECT_FALSE(PropertyList::fromData(b.build(root, 1u << 30))) << "object count beyond the file";

    BplistBuilder wild;
    wild.add(QByteArray("\xA1\x09", 2)); // reference to object 9 of 1
    EXPECT_FALSE(PropertyList::fromData(wild.build(0)));

    BplistBuilder huge;
    // An array claiming 65535 entries with no room for them.
    huge.add(QByteArray("\xAF\x11\xff\xff\x00", 5));
    EXPECT_FALSE(PropertyList::fromData(huge.build(0)));

    BplistBuilder badKey;
    const int number = badKey.integer(3);
    EXPECT_FALSE(PropertyList::fromData(badKey.build(badKey.dict({number}, {number}))))
        << "dictionary keys must be strings";

    QByteArray badOffsetSize = good;
    badOffsetSize[badOffsetSize.size() - 32 + 6] = 0;
    EXPECT_FALSE(PropertyList::fromData(badOffsetSize));

    QByteArray tableOutside = good;
    tableOutside[tableOutside.size() - 1] = char(0xff);
    EXPECT_FALSE(PropertyList::fromData(tableOutside));
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
    EXPECT_TRUE(PropertyList::fromData(nested(PropertyList::maximumDepth - 1)));
    EXPECT_FALSE(PropertyList::fromData(nested(PropertyList::maximumDepth + 1)));
    EXPECT_FALSE(PropertyList::fromData(nested(20000))) << "no stack overflow either";
}

TEST(PropertyListXml, NulCharactersAreRefused)
{
    const QByteArray head(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><string>");
    const QByteArray tail("</string></dict></plist>");
    EXPECT_TRUE(PropertyList::fromData(head + "fine &#65; text" + tail));
    EXPECT_FALSE(PropertyList::fromData(head + "&#0;" + tail));
    EXPECT_FALSE(PropertyList::fromData(head + "&#x000;" + tail));
    EXPECT_FALSE(PropertyList::fromData(head + QByteArray("raw\0nul", 7) + tail));
}

} // namespace
