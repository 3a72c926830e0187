// Property lists: round trips in both formats, files, and hostile input.
#include "Marrowkit/plist/propertylist.h"
#include "Marrowkit/plist/propertylisterror.h"

#include "tests/support/testsupport.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QVariantMap sampleDictionary()
{
    return {
        {QStringLiteral("text"), QStringLiteral("Grüße")},
        {QStringLiteral("integer"), qint64(-42)},
        {QStringLiteral("big"), qint64(1) << 40},
        {QStringLiteral("real"), 2.5},
        {QStringLiteral("flag"), true},
        {QStringLiteral("date"), QDateTime(QDate(2016, 9, 13), QTime(10, 0, 0), Qt::UTC)},
        {QStringLiteral("data"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("list"), QVariantList{QStringLiteral("a"), qint64(1), QVariantMap{}}},
        {QStringLiteral("nested"), QVariantMap{{QStringLiteral("inner"), QVariantList{}}}},
    };
}

class PropertyListFormats : public ::testing::TestWithParam<PropertyList::Format>
{
};

TEST_P(PropertyListFormats, RoundTripKeepsEveryValueType)
{
    const QVariantMap original = sampleDictionary();
    auto data = PropertyList::toData(original, GetParam()).value();
    ASSERT_TRUE(data);
    auto read = PropertyList::dictionaryFromData(*data).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->value(QStringLiteral("text")).toString(), QStringLiteral("Grüße"));
    EXPECT_EQ(read->value(QStringLiteral("integer")).toLongLong(), -42);
    EXPECT_EQ(read->value(QStringLiteral("big")).toLongLong(), qint64(1) << 40);
    EXPECT_DOUBLE_EQ(read->value(QStringLiteral("real")).toDouble(), 2.5);
    EXPECT_EQ(read->value(QStringLiteral("flag")).typeId(), QMetaType::Bool);
    EXPECT_TRUE(read->value(QStringLiteral("flag")).toBool());
    EXPECT_EQ(read->value(QStringLiteral("date")).toDateTime(),
              original.value(QStringLiteral("date")).toDateTime());
    EXPECT_EQ(read->value(QStringLiteral("data")).toByteArray(), QByteArray("\x00\x01\xff", 3));
    const QVariantList list = read->value(QStringLiteral("list")).toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(2).typeId(), QMetaType::QVariantMap);
    EXPECT_TRUE(read->value(QStringLiteral("nested")).toMap().contains(QStringLiteral("inner")));
}

TEST_P(PropertyListFormats, ReferencesSurviveBothFormats)
{
    const QVariantMap original{{QStringLiteral("root"), QVariant::fromValue(PropertyListUid{7})}};
    auto data = PropertyList::toData(original, GetParam()).value();
    ASSERT_TRUE(data);
    auto read = PropertyList::dictionaryFromData(*data).value();
    ASSERT_TRUE(read);
    const QVariant uid = read->value(QStringLiteral("root"));
    ASSERT_EQ(uid.metaType(), QMetaType::fromType<PropertyListUid>());
    EXPECT_EQ(uid.value<PropertyListUid>().value, 7u);
}

TEST_P(PropertyListFormats, TextsHoldingNulAreKeptWholeOrRefusedNeverCutShort)
{
    const QString withNul = QStringLiteral("before") + QChar(0) + QStringLiteral("after");
    for (const QVariantMap &value : {QVariantMap{{QStringLiteral("k"), withNul}},
                                     QVariantMap{{withNul, QStringLiteral("v")}}}) {
        auto data = PropertyList::toData(value, GetParam()).value();
        if (!data) {
            continue; // refused: XML cannot carry a NUL character
        }
        auto read = PropertyList::dictionaryFromData(*data).value();
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, value);
    }
    EXPECT_FALSE(
        PropertyList::toData(QVariantMap{{QStringLiteral("k"), withNul}}, PropertyList::Format::Xml)
            .value());
}

INSTANTIATE_TEST_SUITE_P(Both, PropertyListFormats,
                         ::testing::Values(PropertyList::Format::Xml,
                                           PropertyList::Format::Binary));

TEST(PropertyList, FilesAreWrittenAtomicallyAndReadBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/Info.plist"));
    EXPECT_FALSE(
        PropertyList::writeFile(path, sampleDictionary(), PropertyList::Format::Xml).isSuccess())
        << "a missing parent folder is an error, not a silent success";
    const QString flat = dir.filePath(QStringLiteral("Info.plist"));
    ASSERT_TRUE(
        PropertyList::writeFile(flat, sampleDictionary(), PropertyList::Format::Xml).isSuccess());
    auto read = PropertyList::dictionaryFromFile(flat).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), sampleDictionary().size());
    EXPECT_FALSE(
        PropertyList::dictionaryFromFile(dir.filePath(QStringLiteral("missing.plist"))).value());
}

TEST(PropertyList, WrongRootTypeGivesNoDictionary)
{
    auto data =
        PropertyList::toData(QVariantList{QStringLiteral("a")}, PropertyList::Format::Binary)
            .value();
    ASSERT_TRUE(data);
    EXPECT_TRUE(PropertyList::fromData(*data).value());
    EXPECT_FALSE(PropertyList::dictionaryFromData(*data).value());
}

TEST(PropertyList, ValuesWithoutPlistFormGiveNothing)
{
    EXPECT_FALSE(PropertyList::toData(QVariant(), PropertyList::Format::Xml).value());
    EXPECT_FALSE(PropertyList::toData(QVariantMap{{QStringLiteral("k"), QVariant()}},
                                      PropertyList::Format::Binary)
                     .value());
}

TEST(PropertyList, MalformedInputGivesNothing)
{
    EXPECT_FALSE(PropertyList::fromData(QByteArray()).value());
    EXPECT_FALSE(PropertyList::fromData(QByteArray("bplist00")).value());
    EXPECT_FALSE(
        PropertyList::fromData(QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a")).value());
    EXPECT_FALSE(PropertyList::fromData(QByteArray("not a property list at all")).value());

    auto binary = PropertyList::toData(sampleDictionary(), PropertyList::Format::Binary).value();
    ASSERT_TRUE(binary);
    for (qsizetype cut : {qsizetype(9), binary->size() / 2, binary->size() - 1}) {
        EXPECT_FALSE(PropertyList::fromData(binary->left(cut)).value()) << "truncated at " << cut;
    }
}

QByteArray xmlDocument(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">" +
           body + "</plist>";
}

QByteArray nestedArrays(int depth, const QByteArray &open = "<array>")
{
    return xmlDocument(open.repeated(depth) + QByteArray("</array>").repeated(depth));
}

TEST(PropertyList, DeepNestingIsRefused)
{
    EXPECT_TRUE(PropertyList::fromData(nestedArrays(PropertyList::maximumDepth)).value());
    EXPECT_FALSE(PropertyList::fromData(nestedArrays(PropertyList::maximumDepth + 20)).value());
    // Deep enough to overflow the stack of a parser that recurses before
    // anything counts the levels.
    EXPECT_FALSE(PropertyList::fromData(nestedArrays(200000)).value());
    EXPECT_FALSE(PropertyList::fromData(nestedArrays(200000, "<array a=\"x>y\" >")).value());
    EXPECT_FALSE(PropertyList::fromData(nestedArrays(200000, "<array><!-- -->")).value());
}

// The code and description of a refusal, or a note that there was none.
template<typename T> std::pair<int, QString> refusal(const Result<T> &result)
{
    const auto error = result.error();
    if (!error) {
        return {0, QStringLiteral("(no refusal)")};
    }
    EXPECT_EQ(error->domain, PropertyListError::errorDomain());
    return {error->code, error->localizedDescription()};
}

TEST(PropertyList, RefusedInputSaysWhatWasWrong)
{
    const auto deep =
        refusal(PropertyList::fromData(nestedArrays(PropertyList::maximumDepth + 20)));
    EXPECT_EQ(deep.first, PropertyListError::TooDeep);
    EXPECT_EQ(deep.second, QStringLiteral("The property list nests deeper than 256 levels"));

    const auto prose = refusal(PropertyList::fromData("not a property list at all"));
    EXPECT_EQ(prose.first, PropertyListError::NotAPropertyList);
    EXPECT_TRUE(prose.second.startsWith(QStringLiteral("Not a property list")))
        << prose.second.toStdString();

    const auto list = PropertyList::toData(QVariantList{}, PropertyList::Format::Xml);
    ASSERT_TRUE(list.isSuccess());
    const auto notDictionary = refusal(PropertyList::dictionaryFromData(*list.value()));
    EXPECT_EQ(notDictionary.first, PropertyListError::NotADictionary);
    EXPECT_EQ(notDictionary.second, QStringLiteral("The property list's root is not a dictionary"));
}

TEST(PropertyList, RefusedValuesSayWhyTheyCannotBeWritten)
{
    QVariant deep = QVariantList{};
    for (int i = 0; i <= PropertyList::maximumDepth; ++i) {
        deep = QVariantList{deep};
    }
    for (const auto format : {PropertyList::Format::Xml, PropertyList::Format::Binary}) {
        EXPECT_EQ(refusal(PropertyList::toData(deep, format)).first, PropertyListError::TooDeep);
        const auto invalid =
            refusal(PropertyList::toData(QVariantMap{{QStringLiteral("k"), QVariant()}}, format));
        EXPECT_EQ(invalid.first, PropertyListError::NotRepresentable);
        EXPECT_EQ(invalid.second, QStringLiteral("The value has no property-list form"));
    }
}

TEST(PropertyList, FilesThatCannotBeReadNameThePathAndTheReason)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.plist"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString missing = dir.filePath(QStringLiteral("missing.plist"));
    const struct
    {
        QString path;
        QString reason;
    } cases[] = {
        {dir.path(), QStringLiteral("not a regular file")},
        {fifo, QStringLiteral("not a regular file")},
        {missing, QStringLiteral("No such file or directory")},
    };
    for (const auto &c : cases) {
        const auto read = PropertyList::dictionaryFromFile(c.path);
        ASSERT_TRUE(read.isFailure()) << c.path.toStdString();
        const Error error = *read.error();
        EXPECT_EQ(error.code, PropertyListError::UnreadableFile);
        EXPECT_EQ(error.userInfo.value(Error::filePathKey()).toString(), c.path);
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("Could not read %1: %2").arg(c.path, c.reason));
    }
}

TEST(PropertyList, TagsInCommentsTextAndAttributesDoNotCountAsNesting)
{
    const QByteArray deepLooking = QByteArray("<array>").repeated(1000);
    const auto read =
        PropertyList::dictionaryFromData(xmlDocument("<dict><!-- " + deepLooking +
                                                     " -->"
                                                     "<key>cdata</key><string><![CDATA[" +
                                                     deepLooking +
                                                     "]]></string>"
                                                     "<key>quoted</key><array note=\"" +
                                                     deepLooking +
                                                     "\"><true/><false/></array>"
                                                     "</dict>"))
            .value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->value(QStringLiteral("cdata")).toString().toUtf8(), deepLooking);
    EXPECT_EQ(read->value(QStringLiteral("quoted")).toList(), (QVariantList{true, false}));

    // A document type's internal subset ends where the parser ends it, so a
    // comment opened inside it cannot hide what follows.
    EXPECT_FALSE(PropertyList::fromData("<?xml version=\"1.0\"?><!DOCTYPE plist [ <!-- ]><plist>" +
                                        QByteArray("<array>").repeated(200000) + "-->")
                     .value());
}

TEST(PropertyList, XmlDatesKeepTheirYearWhateverTheCentury)
{
    auto dateIn = [](const QByteArray &text) {
        return PropertyList::fromData(xmlDocument("<date>" + text + "</date>")).value();
    };
    EXPECT_EQ(dateIn("2100-01-01T00:00:00Z"),
              QVariant(QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::UTC)));
    EXPECT_EQ(dateIn("1900-01-01T00:00:00Z"),
              QVariant(QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC)));
    EXPECT_EQ(dateIn("\n  2016-09-13T10:11:12Z \n"),
              QVariant(QDateTime(QDate(2016, 9, 13), QTime(10, 11, 12), Qt::UTC)));
    for (const QByteArray &bad : {QByteArray("2016-02-30T00:00:00Z"), QByteArray("2016-09-13"),
                                  QByteArray("2016-09-13T25:00:00Z"), QByteArray("yesterday"),
                                  QByteArray("0000-01-01T00:00:00Z"), QByteArray()}) {
        EXPECT_FALSE(dateIn(bad)) << bad.constData();
    }
    EXPECT_FALSE(PropertyList::fromData(xmlDocument("<date/>")).value());

    const QVariantList dates{
        QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::UTC),
        QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC),
        QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC),
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC),
        QDateTime(QDate(2016, 9, 13), QTime(10, 11, 12), Qt::UTC),
    };
    const auto written = PropertyList::toData(dates, PropertyList::Format::Xml).value();
    ASSERT_TRUE(written);
    EXPECT_TRUE(written->contains("<date>2100-01-01T00:00:00Z</date>")) << written->constData();
    EXPECT_EQ(PropertyList::fromData(*written).value(), QVariant(dates));
    EXPECT_FALSE(
        PropertyList::toData(QVariantList{QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC)},
                             PropertyList::Format::Xml)
            .value())
        << "a year the text form cannot hold";
}

TEST(PropertyList, RandomBytesAndBitFlipsNeverCrash)
{
    auto binary = PropertyList::toData(sampleDictionary(), PropertyList::Format::Binary).value();
    ASSERT_TRUE(binary);
    QRandomGenerator random(1234);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray mutated = *binary;
        const int flips = 1 + int(random.bounded(4));
        for (int i = 0; i < flips; ++i) {
            const auto at = qsizetype(random.bounded(quint32(mutated.size())));
            mutated[at] = char(random.bounded(256));
        }
        if (PropertyList::fromData(mutated).value()) {
            ++parsed;
        }
    }
    QByteArray noise(512, Qt::Uninitialized);
    for (int round = 0; round < 500; ++round) {
        for (auto &byte : noise) {
            byte = char(random.bounded(256));
        }
        EXPECT_FALSE(PropertyList::dictionaryFromData(QByteArray("bplist00") + noise).value());
    }
    // Some flips land in padding or values and still parse; the point is that
    // none of them crashed and the survivors are not all of them.
    EXPECT_LT(parsed, 3000);
}

} // namespace
