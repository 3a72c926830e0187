// The binary property-list writer: what it writes reads back the same through
// our reader and through libplist's, at every reference and offset size.
#include "Marrowkit/plist/binarypropertylistwriter.h"
#include "Marrowkit/plist/propertylist.h"

#include <QDateTime>
#include <QSize>

#include <plist/plist.h>

#include <gtest/gtest.h>

namespace {

QVariantMap sample()
{
    return {
        {QStringLiteral("ascii"), QStringLiteral("plain text that is longer than fifteen")},
        {QStringLiteral("unicode"), QStringLiteral("Grüße, 日本")},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("small"), qint64(7)},
        {QStringLiteral("negative"), qint64(-42)},
        {QStringLiteral("wide"), qint64(1) << 40},
        {QStringLiteral("real"), 2.5},
        {QStringLiteral("yes"), true},
        {QStringLiteral("no"), false},
        {QStringLiteral("date"), QDateTime(QDate(2016, 9, 13), QTime(10, 0, 0, 250), Qt::UTC)},
        {QStringLiteral("data"), QByteArray(300, '\x01')},
        {QStringLiteral("uid"), QVariant::fromValue(PropertyListUid{70000})},
        {QStringLiteral("list"),
         QVariantList{QStringLiteral("a"), qint64(1), QVariantList{}, QVariantMap{}}},
        {QStringLiteral("nested"), QVariantMap{{QStringLiteral("inner"), QVariantList{true}}}},
    };
}

// libplist's own reader sees the same document.
QByteArray throughLibplist(const QByteArray &binary)
{
    plist_t root = nullptr;
    plist_from_bin(binary.constData(), uint32_t(binary.size()), &root);
    if (!root) {
        return {};
    }
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    plist_free(root);
    QByteArray result(xml, qsizetype(length));
    free(xml);
    return result;
}

} // namespace

TEST(BinaryPropertyListWriter, EveryValueReadsBackTheSame)
{
    auto data = PropertyList::writeBinary(sample()).value();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->startsWith("bplist00"));
    auto read = PropertyList::fromData(*data).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, QVariant(sample()));
    // The same document as libplist writes it.
    auto reference = PropertyList::toData(sample(), PropertyList::Format::Binary).value();
    ASSERT_TRUE(reference);
    EXPECT_EQ(throughLibplist(*data), throughLibplist(*reference));
}

TEST(BinaryPropertyListWriter, LargeDocumentsUseWiderReferencesAndOffsets)
{
    for (int count : {300, 70000}) {
        QVariantList list;
        for (int i = 0; i < count; ++i) {
            list.append(QStringLiteral("item %1").arg(i));
        }
        list.append(QStringLiteral("item 0")); // written once, referenced twice
        auto data = PropertyList::writeBinary(list).value();
        ASSERT_TRUE(data) << count;
        auto read = PropertyList::fromData(*data).value();
        ASSERT_TRUE(read) << count;
        EXPECT_EQ(read->toList(), list) << count;
        EXPECT_EQ(
            throughLibplist(*data),
            throughLibplist(*PropertyList::toData(list, PropertyList::Format::Binary).value()));
    }
}

TEST(BinaryPropertyListWriter, ValuesWithoutAPropertyListFormGiveNothing)
{
    EXPECT_FALSE(PropertyList::writeBinary(QVariant()).value());
    EXPECT_FALSE(PropertyList::writeBinary(QVariantList{QSize(1, 1)}).value());
    EXPECT_FALSE(PropertyList::writeBinary(QDateTime()).value());
    QVariant deep = QVariantList{};
    for (int i = 0; i <= PropertyList::maximumDepth + 1; ++i) {
        deep = QVariantList{deep};
    }
    EXPECT_FALSE(PropertyList::writeBinary(deep).value());
}
