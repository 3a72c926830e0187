// The keyed archive itself: the layout on disk, round trips of every kind of
// value, and the rules by which a hostile archive gives nothing.
#include "Marrowkit/icons/image.h"
#include "Marrowkit/plist/keyedarchiver.h"
#include "Marrowkit/plist/keyedunarchiver.h"
#include "Marrowkit/plist/propertylist.h"
#include "Marrowkit/plist/propertylisterror.h"

#include "tests/support/testsupport.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace KeyedArchive;

namespace {

QVariant ref(quint64 index)
{
    return QVariant::fromValue(PropertyListUid{index});
}

QVariantMap classRecord(const QString &name)
{
    return {{QStringLiteral("$classname"), name}, {QStringLiteral("$classes"), QStringList{name}}};
}

// An archive made by hand from its objects ("$null" is added first).
QByteArray handMade(QVariantList objects, quint64 root = 1)
{
    objects.prepend(QStringLiteral("$null"));
    const QVariantMap archive{
        {QStringLiteral("$archiver"), QStringLiteral("NSKeyedArchiver")},
        {QStringLiteral("$version"), qint64(100000)},
        {QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), ref(root)}}},
        {QStringLiteral("$objects"), objects},
    };
    return PropertyList::toData(archive, PropertyList::Format::Binary).value().value();
}

// A small catalogue-like class for the decoder rules: "Pair" with a required
// text "name" and an optional number "count".
ArchivableObject pair(const QString &name, const QVariant &count)
{
    return {{QStringLiteral("Pair"), QStringLiteral("Base")}, [=](KeyedArchiver &coder) {
                coder.encodeObject(name, QStringLiteral("name"));
                coder.encodeObject(count, QStringLiteral("count"));
            }};
}

const KeyedUnarchiver::DecoderTable &pairDecoders()
{
    static const KeyedUnarchiver::DecoderTable table{
        {QStringLiteral("Pair"), [](KeyedUnarchiver &coder) -> std::optional<QVariant> {
             auto name = coder.decodeRequiredText(QStringLiteral("name"));
             if (!name) {
                 return std::nullopt;
             }
             auto count = coder.decodeObject(QStringLiteral("count"), {NumberClass});
             return QVariantMap{{QStringLiteral("name"), *name},
                                {QStringLiteral("count"), count.value_or(QVariant())}};
         }}};
    return table;
}

std::optional<QVariant> readPairs(const QByteArray &data)
{
    return KeyedUnarchiver::unarchivedObject(data, {ArrayClass, QStringLiteral("Pair")},
                                             pairDecoders())
        .value();
}

QVariantMap sampleValues()
{
    return {
        {QStringLiteral("text"), QStringLiteral("Grüße")},
        {QStringLiteral("integer"), qint64(-7)},
        {QStringLiteral("real"), 2.5},
        {QStringLiteral("flag"), false},
        {QStringLiteral("$class"), QStringLiteral("a key of the archive's own")},
        {QStringLiteral("$$twice"), qint64(2)},
        {QStringLiteral("data"), QByteArray("\0\1\2", 3)},
        {QStringLiteral("date"), QDateTime(QDate(2016, 9, 13), QTime(10, 0, 0, 250), Qt::UTC)},
        {QStringLiteral("url"), QUrl::fromLocalFile(QStringLiteral("/tmp/a b/Foo.app"))},
        {QStringLiteral("list"), QVariantList{QStringLiteral("a"), qint64(1), QVariantList{}}},
        {QStringLiteral("nested"),
         QVariantMap{{QStringLiteral("CFBundleIcons"),
                      QVariantMap{{QStringLiteral("CFBundlePrimaryIcon"),
                                   QVariantMap{{QStringLiteral("CFBundleIconFiles"),
                                                QVariantList{QStringLiteral("Icon")}}}}}}}},
    };
}

QStringList everyValueClass()
{
    return {TextClass,       NumberClass, BooleanClass, DataClass, ArrayClass,
            DictionaryClass, URLClass,    DateClass,    ImageClass};
}

} // namespace

TEST(KeyedArchive, EveryKindOfValueRoundTrips)
{
    auto data = KeyedArchiver::archivedDataWithRootObject(sampleValues()).value();
    ASSERT_TRUE(data);
    auto read = KeyedUnarchiver::unarchivedObject(*data, everyValueClass()).value();
    ASSERT_TRUE(read);
    const QVariantMap map = read->toMap();
    const QVariantMap original = sampleValues();
    EXPECT_EQ(map.keys(), original.keys());
    for (const QString &key : original.keys()) {
        EXPECT_EQ(map.value(key), original.value(key)) << key.toStdString();
    }
    EXPECT_EQ(map.value(QStringLiteral("flag")).typeId(), QMetaType::Bool);
}

TEST(KeyedArchive, ImagesRoundTripAsPngWithTheirPointSize)
{
    QImage pixels(57, 57, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::magenta);
    Image image = Image::fromBitmap(pixels);
    image.setSize(QSizeF(28.5, 28.5));
    auto data = KeyedArchiver::archivedDataWithRootObject(QVariant::fromValue(image)).value();
    ASSERT_TRUE(data);
    auto read = KeyedUnarchiver::unarchivedObject(*data, {ImageClass}).value();
    ASSERT_TRUE(read);
    const Image back = read->value<Image>();
    EXPECT_EQ(back.size(), QSizeF(28.5, 28.5));
    EXPECT_EQ(back.bitmap().size(), QSize(57, 57));
    EXPECT_EQ(QColor::fromRgba(back.bitmap().pixel(30, 30)), QColor(Qt::magenta));
}

TEST(KeyedArchive, LayoutIsAKeyedArchiveWithClassRecords)
{
    auto data = KeyedArchiver::archivedDataWithRootObject(
                    QVariantList{QVariant::fromValue(pair(QStringLiteral("one"), qint64(1))),
                                 QVariant::fromValue(pair(QStringLiteral("one"), qint64(2)))})
                    .value();
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->startsWith("bplist00"));
    auto archive = PropertyList::dictionaryFromData(*data).value();
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->value(QStringLiteral("$archiver")).toString(),
              QStringLiteral("NSKeyedArchiver"));
    EXPECT_EQ(archive->value(QStringLiteral("$version")).toLongLong(), 100000);
    const QVariantList objects = archive->value(QStringLiteral("$objects")).toList();
    ASSERT_FALSE(objects.isEmpty());
    EXPECT_EQ(objects.first().toString(), QStringLiteral("$null"));
    const auto root = archive->value(QStringLiteral("$top")).toMap().value(QStringLiteral("root"));
    ASSERT_EQ(root.metaType(), QMetaType::fromType<PropertyListUid>());

    // Every dictionary in $objects is an object with a class, or a class record.
    int pairs = 0;
    int texts = 0;
    for (const QVariant &object : objects) {
        if (object.typeId() == QMetaType::QString && object.toString() == QStringLiteral("one")) {
            ++texts;
        }
        if (object.typeId() != QMetaType::QVariantMap) {
            continue;
        }
        const QVariantMap map = object.toMap();
        if (map.contains(QStringLiteral("$classname"))) {
            continue;
        }
        const auto cls = map.value(QStringLiteral("$class")).value<PropertyListUid>();
        ASSERT_LT(cls.value, quint64(objects.size()));
        const QVariantMap record = objects.at(qsizetype(cls.value)).toMap();
        if (record.value(QStringLiteral("$classname")).toString() == QStringLiteral("Pair")) {
            ++pairs;
            EXPECT_EQ(record.value(QStringLiteral("$classes")).toStringList(),
                      (QStringList{QStringLiteral("Pair"), QStringLiteral("Base")}));
            EXPECT_EQ(map.value(QStringLiteral("name")).metaType(),
                      QMetaType::fromType<PropertyListUid>());
        }
    }
    EXPECT_EQ(pairs, 2);
    EXPECT_EQ(texts, 1) << "equal texts are stored once";
}

TEST(KeyedArchive, PlistutilPrintsAnArchive)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("archive.bin"));
    auto data = KeyedArchiver::archivedDataWithRootObject(
                    QVariantList{QVariant::fromValue(pair(QStringLiteral("seven"), qint64(7)))})
                    .value();
    ASSERT_TRUE(data);
    ASSERT_TRUE(testsupport::writeFile(path, *data));
    QProcess plistutil;
    plistutil.start(QStringLiteral("plistutil"),
                    {QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("xml")});
    ASSERT_TRUE(plistutil.waitForFinished(10000));
    ASSERT_EQ(plistutil.exitCode(), 0);
    const QByteArray xml = plistutil.readAllStandardOutput();
    EXPECT_TRUE(xml.contains("<string>$null</string>"));
    EXPECT_TRUE(xml.contains("<key>$classname</key>"));
    EXPECT_TRUE(xml.contains("<string>Pair</string>"));
    EXPECT_TRUE(xml.contains("<key>CF$UID</key>"));
}

TEST(KeyedArchive, CodedObjectsDecodeThroughTheirDecoder)
{
    auto data = KeyedArchiver::archivedDataWithRootObject(
                    QVariantList{QVariant::fromValue(pair(QStringLiteral("a"), qint64(3))),
                                 QVariant::fromValue(pair(QStringLiteral("b"), QVariant()))})
                    .value();
    ASSERT_TRUE(data);
    auto read = readPairs(*data);
    ASSERT_TRUE(read);
    const QVariantList list = read->toList();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toMap().value(QStringLiteral("count")).toLongLong(), 3);
    EXPECT_FALSE(list[1].toMap().value(QStringLiteral("count")).isValid()) << "$null reads absent";
}

TEST(KeyedArchive, TheCallerNamesTheClassesItAccepts)
{
    auto data = KeyedArchiver::archivedDataWithRootObject(
                    QVariantList{QVariant::fromValue(pair(QStringLiteral("a"), qint64(3)))})
                    .value();
    ASSERT_TRUE(data);
    // A list of pairs is not one pair, and not a list of texts.
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(*data, {QStringLiteral("Pair")}, pairDecoders()).value());
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(*data, {ArrayClass, TextClass}, pairDecoders()).value());
    // Without a decoder the class is unknown.
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(*data, {ArrayClass, QStringLiteral("Pair")}).value());
    auto text = KeyedArchiver::archivedDataWithRootObject(QStringLiteral("/some/path")).value();
    ASSERT_TRUE(text);
    EXPECT_EQ(KeyedUnarchiver::unarchivedObject(*text, {TextClass}).value(),
              QVariant(QStringLiteral("/some/path")));
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObject(*text, {URLClass}).value());
}

TEST(KeyedArchive, RequiredAndOptionalKeys)
{
    // A pair whose name is a number: required key of the wrong kind.
    auto wrongName = KeyedArchiver::archivedDataWithRootObject(
                         QVariantList{QVariant::fromValue(ArchivableObject{
                             {QStringLiteral("Pair")},
                             [](KeyedArchiver &coder) {
                                 coder.encodeObject(qint64(5), QStringLiteral("name"));
                             }})})
                         .value();
    ASSERT_TRUE(wrongName);
    EXPECT_FALSE(readPairs(*wrongName));
    // Missing name.
    auto noName = KeyedArchiver::archivedDataWithRootObject(
                      QVariantList{QVariant::fromValue(
                          ArchivableObject{{QStringLiteral("Pair")}, [](KeyedArchiver &) {}})})
                      .value();
    ASSERT_TRUE(noName);
    EXPECT_FALSE(readPairs(*noName));
    // An optional count of the wrong kind reads as absent.
    auto textCount =
        KeyedArchiver::archivedDataWithRootObject(
            QVariantList{QVariant::fromValue(pair(QStringLiteral("x"), QStringLiteral("many")))})
            .value();
    ASSERT_TRUE(textCount);
    auto read = readPairs(*textCount);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->toList().first().toMap().value(QStringLiteral("count")).isValid());
}

TEST(KeyedArchive, ValuesWithoutAnArchivedFormAreRefusedOnWriting)
{
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(QVariant(QSize(1, 2))).value());
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(QVariantList{QVariant()}).value());
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(QDateTime()).value());
    QVariant deep = QStringLiteral("bottom");
    for (int i = 0; i < KeyedArchive::maximumDepth + 1; ++i) {
        deep = QVariantList{deep};
    }
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(deep).value());
}

TEST(KeyedArchive, TextsWithNulCannotTravel)
{
    const QString withNul = QStringLiteral("before") + QChar(0) + QStringLiteral("after");
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(withNul).value());
    EXPECT_FALSE(
        KeyedArchiver::archivedDataWithRootObject(QVariantMap{{withNul, qint64(1)}}).value());
    // The same made by hand: the archive's text patched in place.
    auto data = KeyedArchiver::archivedDataWithRootObject(QStringLiteral("beforeXafter")).value();
    ASSERT_TRUE(data);
    EXPECT_TRUE(KeyedUnarchiver::unarchivedObject(*data, {TextClass}).value());
    const qsizetype at = data->indexOf("beforeXafter");
    ASSERT_GE(at, 0);
    (*data)[at + 6] = '\0';
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObject(*data, {TextClass}).value());
}

TEST(KeyedArchive, MalformedStructureGivesNothing)
{
    const QVariantMap array{{QStringLiteral("$class"), ref(2)},
                            {QStringLiteral("items"), QVariantList{ref(3)}}};
    const QVariant arrayClass = classRecord(QStringLiteral("Array"));
    const QStringList texts{ArrayClass, TextClass};
    // The valid reference point.
    EXPECT_TRUE(
        KeyedUnarchiver::unarchivedObject(handMade({array, arrayClass, QStringLiteral("x")}), texts)
            .value());

    struct Case
    {
        const char *name;
        QByteArray data;
    };
    QVariantMap outOfRange = array;
    outOfRange[QStringLiteral("items")] = QVariantList{ref(99)};
    QVariantMap nullItem = array;
    nullItem[QStringLiteral("items")] = QVariantList{ref(0)};
    QVariantMap selfCycle = array;
    selfCycle[QStringLiteral("items")] = QVariantList{ref(1)};
    QVariantMap inlineItem = array;
    inlineItem[QStringLiteral("items")] = QVariantList{QStringLiteral("inline")};
    QVariantMap badClass = array;
    badClass[QStringLiteral("$class")] = ref(3);
    QVariantMap noClass = array;
    noClass.remove(QStringLiteral("$class"));
    const QVariantMap dollarKey{{QStringLiteral("$class"), ref(2)},
                                {QStringLiteral("$other"), ref(3)}};
    const QVariantMap nullValue{{QStringLiteral("$class"), ref(2)},
                                {QStringLiteral("key"), ref(0)}};
    const Case cases[] = {
        {"reference out of range", handMade({outOfRange, arrayClass, QStringLiteral("x")})},
        {"root out of range", handMade({array, arrayClass, QStringLiteral("x")}, 40)},
        {"null in a list", handMade({nullItem, arrayClass, QStringLiteral("x")})},
        {"list holding itself", handMade({selfCycle, arrayClass, QStringLiteral("x")})},
        {"value not a reference", handMade({inlineItem, arrayClass, QStringLiteral("x")})},
        {"class that is not a record", handMade({badClass, arrayClass, QStringLiteral("x")})},
        {"object without class", handMade({noClass, arrayClass, QStringLiteral("x")})},
        {"dictionary key of the archive's own",
         handMade({dollarKey, classRecord(QStringLiteral("Dictionary")), QStringLiteral("x")})},
        {"null in a dictionary",
         handMade({nullValue, classRecord(QStringLiteral("Dictionary")), QStringLiteral("x")})},
        {"not binary",
         PropertyList::toData(QVariantMap{}, PropertyList::Format::Xml).value().value()},
        {"empty", QByteArray()},
        {"garbage", QByteArray("bplist00garbage")},
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(KeyedUnarchiver::unarchivedObject(
                         c.data, {ArrayClass, DictionaryClass, TextClass, NumberClass})
                         .value())
            << c.name;
    }
}

TEST(KeyedArchive, ALongerCycleThroughCodedObjectsGivesNothing)
{
    // Pair 1 names itself through a list: 1 -> name -> list 3 -> 1.
    const QVariantMap pairObject{{QStringLiteral("$class"), ref(2)},
                                 {QStringLiteral("name"), ref(3)}};
    const QVariantMap list{{QStringLiteral("$class"), ref(4)},
                           {QStringLiteral("items"), QVariantList{ref(1)}}};
    const QByteArray data = handMade({pairObject, classRecord(QStringLiteral("Pair")), list,
                                      classRecord(QStringLiteral("Array"))});
    const KeyedUnarchiver::DecoderTable decoders{
        {QStringLiteral("Pair"), [](KeyedUnarchiver &coder) {
             return coder.decodeRequiredObject(QStringLiteral("name"),
                                               {ArrayClass, QStringLiteral("Pair")});
         }}};
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(data, {QStringLiteral("Pair")}, decoders).value());
}

TEST(KeyedArchive, DeepNestingGivesNothing)
{
    // Lists nested past the limit, each holding the next.
    QVariantList objects{classRecord(QStringLiteral("Array"))};
    const int depth = KeyedArchive::maximumDepth + 5;
    for (int i = 0; i < depth; ++i) {
        const quint64 next = quint64(i) + 3;
        objects.append(QVariantMap{
            {QStringLiteral("$class"), ref(1)},
            {QStringLiteral("items"), i + 1 < depth ? QVariantList{ref(next)} : QVariantList{}}});
    }
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObject(handMade(objects, 2), {ArrayClass}).value());
}

TEST(KeyedArchive, WhatReadsAtTheDepthLimitIsWrittenAgain)
{
    // Dictionaries as deep as the reader accepts, a text in the deepest.
    auto nested = [](int depth) {
        QVariant value = QVariantMap{{QStringLiteral("leaf"), QStringLiteral("text")}};
        for (int i = 1; i < depth; ++i) {
            value = QVariantMap{{QStringLiteral("inner"), value}};
        }
        return value;
    };
    const auto atLimit = KeyedArchiver::archivedDataWithRootObject(nested(maximumDepth)).value();
    ASSERT_TRUE(atLimit);
    const auto read =
        KeyedUnarchiver::unarchivedObject(*atLimit, {DictionaryClass, TextClass}).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, nested(maximumDepth));
    EXPECT_EQ(KeyedArchiver::archivedDataWithRootObject(*read).value(), atLimit);
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(nested(maximumDepth + 1)).value());
}

// `levels` lists, each holding the next one twice; the last is empty. The
// value expands to 2^levels - 1 lists.
QByteArray arrayLadder(int levels)
{
    QVariantList objects{classRecord(QStringLiteral("Array"))};
    for (int i = 0; i < levels; ++i) {
        const quint64 next = quint64(i) + 3;
        objects.append(
            QVariantMap{{QStringLiteral("$class"), ref(1)},
                        {QStringLiteral("items"),
                         i + 1 < levels ? QVariantList{ref(next), ref(next)} : QVariantList{}}});
    }
    return handMade(objects, 2);
}

TEST(KeyedArchive, SharedObjectsReadOnceWhileTheirExpansionStaysSmall)
{
    auto read = KeyedUnarchiver::unarchivedObject(arrayLadder(12), {ArrayClass}).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toList().size(), 2);
    const auto again = KeyedArchiver::archivedDataWithRootObject(*read).value();
    ASSERT_TRUE(again);
    EXPECT_EQ(KeyedUnarchiver::unarchivedObject(*again, {ArrayClass}).value(), read);
}

TEST(KeyedArchive, LaddersThatWouldExpandBeyondTheBudgetAreRefused)
{
    // A ladder of 40 would expand to 2^40 lists: writing it again, or
    // comparing it, would never finish.
    EXPECT_TRUE(KeyedUnarchiver::unarchivedObject(arrayLadder(20), {ArrayClass}).value());
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObject(arrayLadder(21), {ArrayClass}).value());
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObject(arrayLadder(40), {ArrayClass}).value());

    // The same through dictionaries, each naming the next under two keys.
    QVariantList objects{classRecord(QStringLiteral("Dictionary"))};
    for (int i = 0; i < 40; ++i) {
        const QVariant next = i + 1 < 40 ? ref(quint64(i) + 3) : ref(0);
        objects.append(QVariantMap{{QStringLiteral("$class"), ref(1)},
                                   {QStringLiteral("a"), i + 1 < 40 ? next : QVariant(ref(1))},
                                   {QStringLiteral("b"), i + 1 < 40 ? next : QVariant(ref(1))}});
    }
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(handMade(objects, 2), {DictionaryClass, TextClass})
            .value());

    // And through a catalogue object's keys: each names the same list,
    // which expands to 2^19 - 1 lists; four of them exceed the budget.
    QVariantList pairs{classRecord(QStringLiteral("Array")), classRecord(QStringLiteral("Pair"))};
    for (int i = 0; i < 19; ++i) {
        const quint64 next = quint64(pairs.size()) + 2;
        pairs.append(
            QVariantMap{{QStringLiteral("$class"), ref(1)},
                        {QStringLiteral("items"),
                         i + 1 < 19 ? QVariantList{ref(next), ref(next)} : QVariantList{}}});
    }
    const QStringList keys{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("d")};
    const KeyedUnarchiver::DecoderTable listsUnderKeys{
        {QStringLiteral("Pair"), [keys](KeyedUnarchiver &coder) -> std::optional<QVariant> {
             QVariantList lists;
             for (const QString &key : keys) {
                 if (coder.containsValueForKey(key)) {
                     lists << coder.decodeRequiredObject(key, {ArrayClass}).value_or(QVariant());
                 }
             }
             return lists;
         }}};
    auto pairNaming = [&](int keyCount) {
        QVariantMap pair{{QStringLiteral("$class"), ref(2)}};
        for (int i = 0; i < keyCount; ++i) {
            pair.insert(keys.at(i), ref(3));
        }
        QVariantList objects = pairs;
        objects.append(pair);
        return handMade(objects, quint64(objects.size()));
    };
    EXPECT_TRUE(
        KeyedUnarchiver::unarchivedObject(pairNaming(1), {QStringLiteral("Pair")}, listsUnderKeys)
            .value());
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(pairNaming(4), {QStringLiteral("Pair")}, listsUnderKeys)
            .value());
}

TEST(KeyedArchive, RefusedArchivesSayWhy)
{
    QVariantList deep{classRecord(QStringLiteral("Array"))};
    for (int i = 0; i <= maximumDepth; ++i) {
        deep.append(
            QVariantMap{{QStringLiteral("$class"), ref(1)},
                        {QStringLiteral("items"),
                         i < maximumDepth ? QVariantList{ref(quint64(i) + 3)} : QVariantList{}}});
    }
    QVariantMap cycle{{QStringLiteral("$class"), ref(2)},
                      {QStringLiteral("items"), QVariantList{ref(1)}}};
    const auto text = KeyedArchiver::archivedDataWithRootObject(QStringLiteral("x"));
    ASSERT_TRUE(text.isSuccess());
    const struct
    {
        const char *name;
        QByteArray data;
        QString domain;
        int code;
        QString description;
    } cases[] = {
        {"too deep", handMade(deep, 2), KeyedArchiveError::errorDomain(),
         KeyedArchiveError::TooDeep, QStringLiteral("The archive nests deeper than 100 objects")},
        {"too large when expanded", arrayLadder(21), KeyedArchiveError::errorDomain(),
         KeyedArchiveError::ExpandsTooFar, QStringLiteral("The archive expands to more than")},
        {"a list holding itself", handMade({cycle, classRecord(QStringLiteral("Array"))}),
         KeyedArchiveError::errorDomain(), KeyedArchiveError::Malformed,
         QStringLiteral("The archive holds a reference cycle")},
        {"a root of a class not accepted", *text.value(), KeyedArchiveError::errorDomain(),
         KeyedArchiveError::RootRefused,
         QStringLiteral(
             "The archive's root, or a value in it, is not of the accepted classes (Array)")},
        {"not binary", "<plist/>", KeyedArchiveError::errorDomain(),
         KeyedArchiveError::NotAnArchive, QStringLiteral("Not a keyed archive")},
        {"no property list", "bplist00garbage", PropertyListError::errorDomain(),
         PropertyListError::NotAPropertyList, QStringLiteral("Not a property list")},
    };
    for (const auto &c : cases) {
        const auto read = KeyedUnarchiver::unarchivedObject(c.data, {ArrayClass});
        ASSERT_TRUE(read.isFailure()) << c.name;
        const Error error = *read.error();
        EXPECT_EQ(error.domain, c.domain) << c.name;
        EXPECT_EQ(error.code, c.code) << c.name;
        EXPECT_TRUE(error.localizedDescription().startsWith(c.description))
            << c.name << ": " << error.localizedDescription().toStdString();
    }

    QVariant nested = QVariantList{};
    for (int i = 0; i < maximumDepth; ++i) {
        nested = QVariantList{nested};
    }
    const auto written = KeyedArchiver::archivedDataWithRootObject(nested);
    ASSERT_TRUE(written.isFailure());
    EXPECT_EQ(written.error()->code, KeyedArchiveError::NotArchivable);
    EXPECT_EQ(written.error()->localizedDescription(),
              QStringLiteral("The archive nests deeper than 100 objects"));
}

TEST(KeyedArchive, AValueSharedAlongManyPathsIsWrittenOnce)
{
    // 40 levels, each holding the one below twice: 2^40 paths through 41
    // lists. Walking every path would never finish.
    QVariant level = QVariantList{QStringLiteral("bottom")};
    for (int i = 0; i < 40; ++i) {
        level = QVariantList{level, level};
    }
    const auto data = KeyedArchiver::archivedDataWithRootObject(level).value();
    ASSERT_TRUE(data);
    const auto archive = PropertyList::dictionaryFromData(*data).value();
    ASSERT_TRUE(archive);
    // $null, the text, the class record and the 41 lists.
    EXPECT_EQ(archive->value(QStringLiteral("$objects")).toList().size(), 44);

    // Catalogue objects are written afresh wherever they occur, even in a
    // list that is written twice.
    const QVariant pairs = QVariantList{QVariant::fromValue(pair(QStringLiteral("a"), {}))};
    const auto twice =
        KeyedArchiver::archivedDataWithRootObject(QVariantList{pairs, pairs}).value();
    ASSERT_TRUE(twice);
    const auto read = readPairs(*twice);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toList().size(), 2);
}

TEST(KeyedArchive, ACatalogueObjectNamedTwiceGivesNothing)
{
    // Object 3 is one pair, named twice by the list (1), or by two lists
    // that are one object (6 holding 1 twice).
    const QVariantList once{
        QVariantMap{{QStringLiteral("$class"), ref(2)},
                    {QStringLiteral("items"), QVariantList{ref(3)}}},
        classRecord(QStringLiteral("Array")),
        QVariantMap{{QStringLiteral("$class"), ref(4)}, {QStringLiteral("name"), ref(5)}},
        classRecord(QStringLiteral("Pair")),
        QStringLiteral("a"),
    };
    ASSERT_TRUE(readPairs(handMade(once)));
    QVariantList twice = once;
    twice[0] = QVariantMap{{QStringLiteral("$class"), ref(2)},
                           {QStringLiteral("items"), QVariantList{ref(3), ref(3)}}};
    EXPECT_FALSE(readPairs(handMade(twice)));
    QVariantList throughOneList = once;
    throughOneList.append(QVariantMap{{QStringLiteral("$class"), ref(2)},
                                      {QStringLiteral("items"), QVariantList{ref(1), ref(1)}}});
    ASSERT_TRUE(readPairs(handMade(throughOneList, 1)));
    EXPECT_FALSE(readPairs(handMade(throughOneList, 6)));
}

TEST(KeyedArchive, WrongHeaderGivesNothing)
{
    auto good = KeyedArchiver::archivedDataWithRootObject(QStringLiteral("x")).value();
    ASSERT_TRUE(good);
    auto archive = PropertyList::dictionaryFromData(*good).value().value();
    auto withChange = [&](const QString &key, const QVariant &value) {
        QVariantMap changed = archive;
        if (value.isValid()) {
            changed[key] = value;
        } else {
            changed.remove(key);
        }
        return PropertyList::toData(changed, PropertyList::Format::Binary).value().value();
    };
    const QStringList text{TextClass};
    EXPECT_TRUE(KeyedUnarchiver::unarchivedObject(withChange({}, {}), text).value());
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObject(
                     withChange(QStringLiteral("$archiver"), QStringLiteral("Other")), text)
                     .value());
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(withChange(QStringLiteral("$version"), qint64(1)), text)
            .value());
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(withChange(QStringLiteral("$top"), {}), text).value());
    EXPECT_FALSE(
        KeyedUnarchiver::unarchivedObject(
            withChange(QStringLiteral("$objects"), QVariantList{QStringLiteral("x")}), text)
            .value());
}
