#include "Marrowkit/plist/keyedunarchiver.h"

#include "Marrowkit/icons/image.h"
#include "Marrowkit/plist/propertylist.h"

#include <QDateTime>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

enum BuiltIn {
    TextBit,
    NumberBit,
    BooleanBit,
    DataBit,
    ArrayBit,
    DictionaryBit,
    URLBit,
    DateBit,
    ImageBit,
    FirstDecoderBit
};

constexpr int maximumDecoders = 50;
// Seconds either side of 1970 that a date may lie (about 30,000 years).
constexpr double maximumDateSeconds = 1e12;
constexpr double maximumImageSide = 10000;

constexpr quint64 bit(int index)
{
    return quint64(1) << index;
}

// Catalogue objects: the classes decoded through the caller's decoders.
constexpr quint64 codedClasses = ~(bit(FirstDecoderBit) - 1);

const QVariant *field(const QVariantMap &fields, const QString &key)
{
    const auto it = fields.constFind(key);
    return it == fields.constEnd() ? nullptr : &it.value();
}

bool isReference(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<PropertyListUid>();
}

std::optional<double> number(const QVariant *value)
{
    if (!value) {
        return std::nullopt;
    }
    if (value->typeId() == QMetaType::Double) {
        return value->toDouble();
    }
    if (value->typeId() == QMetaType::LongLong) {
        return double(value->toLongLong());
    }
    return std::nullopt;
}

} // namespace

KeyedUnarchiver::KeyedUnarchiver(const DecoderTable &decoders) : m_decoders(decoders)
{
    const QLatin1String builtIn[] = {
        KeyedArchive::TextClass, KeyedArchive::NumberClass, KeyedArchive::BooleanClass,
        KeyedArchive::DataClass, KeyedArchive::ArrayClass,  KeyedArchive::DictionaryClass,
        KeyedArchive::URLClass,  KeyedArchive::DateClass,   KeyedArchive::ImageClass};
    for (QLatin1String name : builtIn) {
        m_classBits.insert(name, int(m_classNames.size()));
        m_classNames.emplace_back(name);
    }
    for (auto it = decoders.constBegin(); it != decoders.constEnd(); ++it) {
        if (m_classBits.contains(it.key()) ||
            m_classNames.size() >= FirstDecoderBit + maximumDecoders) {
            continue; // built-in names cannot be redefined
        }
        m_classBits.insert(it.key(), int(m_classNames.size()));
        m_classNames.push_back(it.key());
    }
}

Result<QVariant> KeyedUnarchiver::unarchivedObject(const QByteArray &data,
                                                   const QStringList &allowedClasses,
                                                   const DecoderTable &decoders)
{
    KeyedUnarchiver unarchiver(decoders);
    return unarchiver.decodeRoot(data, allowedClasses);
}

Error KeyedUnarchiver::refusal(KeyedArchiveError::Code code, const QString &why)
{
    return KeyedArchiveError::error(code, why);
}

KeyedUnarchiver::Read KeyedUnarchiver::broken(KeyedArchiveError::Code code, const QString &why)
{
    if (!m_failure) {
        m_failure = refusal(code, why);
    }
    return broken();
}

Result<QVariant> KeyedUnarchiver::decodeRoot(const QByteArray &data, const QStringList &allowed)
{
    auto notAnArchive = [](const QString &why) {
        return Result<QVariant>::failure(refusal(KeyedArchiveError::NotAnArchive,
                                                 QStringLiteral("Not a keyed archive: ") + why));
    };
    if (!data.startsWith("bplist")) {
        // Archives are binary; nothing else is parsed.
        return notAnArchive(QStringLiteral("not a binary property list"));
    }
    const auto plist = PropertyList::dictionaryFromData(data);
    if (plist.isFailure()) {
        return Result<QVariant>::failure(*plist.error());
    }
    const auto archive = plist.value();
    m_budget = PropertyList::maximumExpandedSize(data.size());
    const QVariant *archiver = field(*archive, QStringLiteral("$archiver"));
    const QVariant *version = field(*archive, QStringLiteral("$version"));
    const QVariant *top = field(*archive, QStringLiteral("$top"));
    const QVariant *objects = field(*archive, QStringLiteral("$objects"));
    if (!archiver || archiver->typeId() != QMetaType::QString ||
        archiver->toString() != KeyedArchive::archiverName || !version ||
        version->typeId() != QMetaType::LongLong ||
        version->toLongLong() != KeyedArchive::version || !top ||
        top->typeId() != QMetaType::QVariantMap || !objects ||
        objects->typeId() != QMetaType::QVariantList) {
        return notAnArchive(QStringLiteral("its archiver, version, top or objects are missing"));
    }
    m_objects = objects->toList();
    if (m_objects.isEmpty() || m_objects.first().typeId() != QMetaType::QString ||
        m_objects.first().toString() != QLatin1String("$null")) {
        return notAnArchive(QStringLiteral("its first object is not $null"));
    }
    m_entries.resize(size_t(m_objects.size()));
    const QVariant *root = field(top->toMap(), QStringLiteral("root"));
    if (!root) {
        return notAnArchive(QStringLiteral("it has no root"));
    }
    const Read result = read(*root, classMask(allowed));
    if (m_failed) {
        return Result<QVariant>::failure(m_failure.value_or(
            refusal(KeyedArchiveError::Malformed, QStringLiteral("The archive is malformed"))));
    }
    if (result.outcome != Outcome::Value) {
        return Result<QVariant>::failure(
            refusal(KeyedArchiveError::RootRefused,
                    QStringLiteral(
                        "The archive's root, or a value in it, is not of the accepted classes (%1)")
                        .arg(allowed.join(QStringLiteral(", ")))));
    }
    return Result<QVariant>::success(result.value);
}

quint64 KeyedUnarchiver::classMask(const QStringList &names) const
{
    quint64 mask = 0;
    for (const QString &name : names) {
        const auto it = m_classBits.constFind(name);
        if (it != m_classBits.constEnd()) {
            mask |= bit(it.value());
        }
    }
    return mask;
}

std::optional<QVariant> KeyedUnarchiver::decodeObject(const QString &key,
                                                      const QStringList &allowedClasses)
{
    if (m_failed || m_fields.empty()) {
        return std::nullopt;
    }
    const QVariant *reference = field(*m_fields.back(), key);
    if (!reference || key == QLatin1String("$class")) {
        return std::nullopt;
    }
    const Read result = read(*reference, classMask(allowedClasses));
    if (result.outcome != Outcome::Value) {
        return std::nullopt;
    }
    if (!m_codedSizes.empty()) {
        m_codedSizes.back() = grown(m_codedSizes.back(), result.size);
        if (m_codedSizes.back() > m_budget) {
            expandsTooFar();
            return std::nullopt;
        }
    }
    return result.value;
}

std::optional<QVariant> KeyedUnarchiver::decodeRequiredObject(const QString &key,
                                                              const QStringList &allowedClasses)
{
    auto value = decodeObject(key, allowedClasses);
    if (!value && m_codedClasses.empty()) {
        fail();
    } else if (!value) {
        broken(KeyedArchiveError::DecoderFailed,
               QStringLiteral("The required key %1 of a %2 is missing or of another class")
                   .arg(key, m_classNames.at(size_t(m_codedClasses.back()))));
    }
    return value;
}

std::optional<QString> KeyedUnarchiver::decodeRequiredText(const QString &key)
{
    auto value = decodeRequiredObject(key, {KeyedArchive::TextClass});
    if (!value) {
        return std::nullopt;
    }
    return value->toString();
}

bool KeyedUnarchiver::containsValueForKey(const QString &key) const
{
    return !m_fields.empty() && key != QLatin1String("$class") && m_fields.back()->contains(key);
}

KeyedUnarchiver::Read KeyedUnarchiver::broken()
{
    m_failed = true;
    return {};
}

KeyedUnarchiver::Read KeyedUnarchiver::expandsTooFar()
{
    return broken(KeyedArchiveError::ExpandsTooFar,
                  QStringLiteral("The archive expands to more than %1 values").arg(m_budget));
}

// Sums sizes without overflowing; anything past the budget is refused.
quint64 KeyedUnarchiver::grown(quint64 size, quint64 more) const
{
    return std::min(size + more, m_budget + 1);
}

KeyedUnarchiver::Read KeyedUnarchiver::read(const QVariant &reference, quint64 allowed)
{
    if (m_failed || !isReference(reference)) {
        return broken();
    }
    const quint64 index = reference.value<PropertyListUid>().value;
    if (index >= quint64(m_objects.size())) {
        return broken();
    }
    if (index == 0) {
        return {Outcome::Null, {}, 0};
    }
    const QVariant &object = m_objects.at(qsizetype(index));
    int kind = -1;
    switch (object.typeId()) {
    case QMetaType::QString:
        // No text the writer makes holds a NUL; the property-list writer would
        // cut it short, so such a text could not travel on unchanged.
        if (object.toString().contains(QChar(0))) {
            return broken();
        }
        kind = TextBit;
        break;
    case QMetaType::LongLong:
    case QMetaType::Double:
        kind = NumberBit;
        break;
    case QMetaType::Bool:
        kind = BooleanBit;
        break;
    case QMetaType::QByteArray:
        kind = DataBit;
        break;
    case QMetaType::QVariantMap:
        return readObject(index, allowed);
    default:
        return broken(); // not a value this layout stores as an object
    }
    if (!(allowed & bit(kind))) {
        return {};
    }
    return {Outcome::Value, object, bit(kind), 1};
}

KeyedUnarchiver::Read KeyedUnarchiver::readObject(quint64 index, quint64 allowed)
{
    Entry &entry = m_entries[size_t(index)];
    if (entry.state == State::Reading) {
        return broken(KeyedArchiveError::Malformed,
                      QStringLiteral("The archive holds a reference cycle"));
    }
    if (entry.state == State::Done) {
        if (entry.classes & codedClasses) {
            // A catalogue object has one owner.
            return broken(KeyedArchiveError::Malformed,
                          QStringLiteral("A catalogue object is named by two references"));
        }
        if (entry.classes & ~allowed) {
            return {};
        }
        return {Outcome::Value, entry.value, entry.classes, entry.size};
    }
    for (quint64 refused : entry.refused) {
        if (!(allowed & ~refused)) {
            return {}; // already failed with at least these classes allowed
        }
    }
    const QVariantMap fields = m_objects.at(qsizetype(index)).toMap();
    const QVariant *record = field(fields, QStringLiteral("$class"));
    const auto classBit = record ? classBitOfRecord(*record) : std::nullopt;
    if (m_failed || !classBit) {
        return broken();
    }
    if (*classBit < 0 || !(allowed & bit(*classBit))) {
        return {}; // unknown or not accepted here: never decoded
    }
    if (m_depth >= KeyedArchive::maximumDepth) {
        return broken(KeyedArchiveError::TooDeep,
                      QStringLiteral("The archive nests deeper than %1 objects")
                          .arg(KeyedArchive::maximumDepth));
    }
    entry.state = State::Reading;
    ++m_depth;
    Read result = decodeByClass(*classBit, fields, allowed);
    --m_depth;
    // `entry` is still valid: m_entries never changes size while reading.
    if (m_failed) {
        return broken();
    }
    if (result.size > m_budget) {
        return expandsTooFar();
    }
    if (result.outcome != Outcome::Value) {
        entry.state = State::Unread;
        entry.refused.append(allowed);
        return {};
    }
    entry.state = State::Done;
    entry.value = result.value;
    entry.classes = result.classes;
    entry.size = result.size;
    return result;
}

// The class bit of a class record; -1 for a well-formed record of a class
// this reader does not know; nothing for a malformed record.
std::optional<int> KeyedUnarchiver::classBitOfRecord(const QVariant &reference)
{
    if (!isReference(reference)) {
        return std::nullopt;
    }
    const quint64 index = reference.value<PropertyListUid>().value;
    const auto known = m_recordBits.constFind(index);
    if (known != m_recordBits.constEnd()) {
        return known.value();
    }
    if (index == 0 || index >= quint64(m_objects.size()) ||
        m_objects.at(qsizetype(index)).typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    const QVariantMap record = m_objects.at(qsizetype(index)).toMap();
    const QVariant *name = field(record, QStringLiteral("$classname"));
    const QVariant *chain = field(record, QStringLiteral("$classes"));
    if (!name || name->typeId() != QMetaType::QString || !chain ||
        chain->typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    for (const QVariant &link : chain->toList()) {
        if (link.typeId() != QMetaType::QString) {
            return std::nullopt;
        }
    }
    const int classBit = m_classBits.value(name->toString(), -1);
    m_recordBits.insert(index, classBit);
    return classBit;
}

KeyedUnarchiver::Read KeyedUnarchiver::decodeByClass(int classBit, const QVariantMap &fields,
                                                     quint64 allowed)
{
    switch (classBit) {
    case ArrayBit:
        return readArray(fields, allowed);
    case DictionaryBit:
        return readDictionary(fields, allowed);
    case URLBit:
        return readURL(fields);
    case DateBit:
        return readDate(fields);
    case ImageBit:
        return readImage(fields);
    case TextBit:
    case NumberBit:
    case BooleanBit:
    case DataBit:
        return broken(); // these are never objects with a class record
    default:
        return readCoded(classBit, fields);
    }
}

KeyedUnarchiver::Read KeyedUnarchiver::readArray(const QVariantMap &fields, quint64 allowed)
{
    const QVariant *items = field(fields, QStringLiteral("items"));
    if (!items || items->typeId() != QMetaType::QVariantList) {
        return broken();
    }
    const QVariantList references = items->toList();
    QVariantList values;
    values.reserve(references.size());
    quint64 classes = bit(ArrayBit);
    quint64 size = 1;
    for (const QVariant &reference : references) {
        const Read item = read(reference, allowed);
        if (m_failed || item.outcome == Outcome::Null) {
            return broken(); // lists hold values, never "nothing"
        }
        if (item.outcome == Outcome::Refused) {
            return {};
        }
        values.append(item.value);
        classes |= item.classes;
        size = grown(size, item.size);
        if (size > m_budget) {
            return expandsTooFar();
        }
    }
    return {Outcome::Value, values, classes, size};
}

KeyedUnarchiver::Read KeyedUnarchiver::readDictionary(const QVariantMap &fields, quint64 allowed)
{
    QVariantMap map;
    quint64 classes = bit(DictionaryBit);
    quint64 size = 1;
    const QLatin1String classKey("$class");
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        QString key = it.key();
        if (key.contains(QChar(0))) {
            return broken(); // see read(): such a text cannot travel on
        }
        if (key.startsWith(QLatin1Char('$'))) {
            if (key == classKey) {
                continue;
            }
            if (!key.startsWith(QLatin1String("$$"))) {
                return broken(); // only the archive's own keys begin with one "$"
            }
            key.remove(0, 1);
        }
        const Read value = read(it.value(), allowed);
        if (m_failed || value.outcome == Outcome::Null) {
            return broken();
        }
        if (value.outcome == Outcome::Refused) {
            return {};
        }
        map.insert(map.cend(), key, value.value);
        classes |= value.classes;
        size = grown(size, 1 + value.size); // the key, and what it names
        if (size > m_budget) {
            return expandsTooFar();
        }
    }
    return {Outcome::Value, map, classes, size};
}

KeyedUnarchiver::Read KeyedUnarchiver::readURL(const QVariantMap &fields)
{
    const QVariant *reference = field(fields, QStringLiteral("string"));
    const Read text = reference ? read(*reference, bit(TextBit)) : broken();
    if (m_failed || text.outcome != Outcome::Value) {
        return broken();
    }
    const QUrl url(text.value.toString(), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty()) {
        return broken();
    }
    return {Outcome::Value, url, bit(URLBit), 2};
}

KeyedUnarchiver::Read KeyedUnarchiver::readDate(const QVariantMap &fields)
{
    const auto seconds = number(field(fields, QStringLiteral("time")));
    if (!seconds || !std::isfinite(*seconds) || std::abs(*seconds) > maximumDateSeconds) {
        return broken();
    }
    const auto msecs = qint64(std::llround(*seconds * 1000.0));
    return {Outcome::Value, QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC), bit(DateBit)};
}

// PNG data that does not decode is a value of the wrong kind, not a broken
// archive: an optional icon that is unreadable reads as absent.
KeyedUnarchiver::Read KeyedUnarchiver::readImage(const QVariantMap &fields)
{
    const auto width = number(field(fields, QStringLiteral("width")));
    const auto height = number(field(fields, QStringLiteral("height")));
    const QVariant *png = field(fields, QStringLiteral("png"));
    if (!width || !height || !png || !(*width > 0 && *width <= maximumImageSide) ||
        !(*height > 0 && *height <= maximumImageSide)) {
        return broken();
    }
    const Read data = read(*png, bit(DataBit));
    if (m_failed || data.outcome != Outcome::Value) {
        return broken();
    }
    auto image = Image::fromPngData(data.value.toByteArray(), QSizeF(*width, *height));
    if (!image) {
        return {};
    }
    return {Outcome::Value, QVariant::fromValue(*image), bit(ImageBit), 2};
}

KeyedUnarchiver::Read KeyedUnarchiver::readCoded(int classBit, const QVariantMap &fields)
{
    const auto decoder = m_decoders.constFind(m_classNames.at(size_t(classBit)));
    if (decoder == m_decoders.constEnd() || !decoder.value()) {
        return broken();
    }
    m_fields.push_back(&fields);
    m_codedSizes.push_back(1);
    m_codedClasses.push_back(classBit);
    std::optional<QVariant> value = decoder.value()(*this);
    const quint64 size = m_codedSizes.back();
    m_codedClasses.pop_back();
    m_codedSizes.pop_back();
    m_fields.pop_back();
    if (m_failed || !value || !value->isValid()) {
        // The first reason found deeper down stays the one reported.
        return broken(
            KeyedArchiveError::DecoderFailed,
            QStringLiteral("A %1 object does not read").arg(m_classNames.at(size_t(classBit))));
    }
    return {Outcome::Value, *value, bit(classBit), size};
}
