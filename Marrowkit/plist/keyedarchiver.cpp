#include "Marrowkit/plist/keyedarchiver.h"

#include "Marrowkit/icons/image.h"
#include "Marrowkit/plist/binarypropertylistwriter.h"
#include "Marrowkit/plist/propertylist.h"

#include <QDateTime>
#include <QUrl>

#include <cstring>
#include <limits>

namespace {

QVariant uid(quint64 index)
{
    return QVariant::fromValue(PropertyListUid{index});
}

// Restores the archiver's depth and current object when an object is done.
template<typename T> class Restore
{
public:
    Restore(T &slot, T value) : m_slot(slot), m_saved(slot) { m_slot = value; }
    ~Restore() { m_slot = m_saved; }
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

private:
    T &m_slot;
    T m_saved;
};

// What tells one shared list or dictionary apart from another: the storage
// its copies share. Nothing for other values and empty ones.
const void *identityOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantList) {
        const auto *list = static_cast<const QVariantList *>(value.constData());
        return list->isEmpty() ? nullptr : list->constData();
    }
    if (value.typeId() == QMetaType::QVariantMap) {
        const auto *map = static_cast<const QVariantMap *>(value.constData());
        return map->isEmpty() ? nullptr : &map->constBegin().key();
    }
    return nullptr;
}

// Values written as objects with a class record, rather than as themselves.
bool isObjectKind(QMetaType type)
{
    if (type == QMetaType::fromType<ArchivableObject>() || type == QMetaType::fromType<Image>()) {
        return true;
    }
    switch (type.id()) {
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
    case QMetaType::QUrl:
    case QMetaType::QDateTime:
        return true;
    default:
        return false;
    }
}

} // namespace

KeyedArchiver::KeyedArchiver()
{
    m_objects.append(QStringLiteral("$null"));
}

Result<QByteArray> KeyedArchiver::archivedDataWithRootObject(const QVariant &root)
{
    KeyedArchiver archiver;
    const quint64 top = archiver.add(root);
    if (archiver.m_failed) {
        return Result<QByteArray>::failure(
            KeyedArchiveError::error(KeyedArchiveError::NotArchivable, archiver.m_failure));
    }
    return archiver.finish(top);
}

void KeyedArchiver::refuse(const QString &why)
{
    if (!m_failed) {
        m_failed = true;
        m_failure = why;
    }
}

void KeyedArchiver::encodeObject(const QVariant &value, const QString &key)
{
    if (!m_current) {
        // Only an object being encoded has keys.
        refuse(QStringLiteral("A value was encoded outside an object's encoder"));
        return;
    }
    const quint64 index = add(value);
    m_current->insert(key, uid(index));
}

quint64 KeyedArchiver::add(const QVariant &value)
{
    if (m_failed || !value.isValid()) {
        return 0;
    }
    const QMetaType type = value.metaType();
    if (!isObjectKind(type)) {
        return addShared(value);
    }
    // Only objects nest, as the reader counts them: a text inside the
    // deepest object the reader accepts is written too.
    if (m_depth >= KeyedArchive::maximumDepth) {
        refuse(QStringLiteral("The archive nests deeper than %1 objects")
                   .arg(KeyedArchive::maximumDepth));
        return 0;
    }
    // A list or dictionary met again (one shared value, as decoded values
    // share what several references name) is written once, not walked again:
    // equal contents would give the same object anyway.
    const void *identity = identityOf(value);
    if (identity) {
        const auto found = m_sharedValues.constFind(identity);
        // Written fine at that depth, it fits at any shallower one too.
        if (found != m_sharedValues.constEnd() && found->depth >= m_depth) {
            return found->index;
        }
    }
    const int depthHere = m_depth;
    const int codedBefore = m_codedObjects;
    const quint64 index = addObjectValue(value);
    // Catalogue objects are written afresh each time, so a value holding
    // one is never reused.
    if (identity && !m_failed && m_codedObjects == codedBefore) {
        const auto found = m_sharedValues.constFind(identity);
        if (found == m_sharedValues.constEnd() || found->depth < depthHere) {
            m_sharedValues.insert(identity, SharedValue{value, index, depthHere});
        }
    }
    return index;
}

quint64 KeyedArchiver::addObjectValue(const QVariant &value)
{
    Restore<int> depth(m_depth, m_depth + 1);
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<ArchivableObject>()) {
        return addCodedObject(value.value<ArchivableObject>());
    }
    if (type == QMetaType::fromType<Image>()) {
        return addImage(value);
    }
    switch (type.id()) {
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return addList(value.toList());
    case QMetaType::QVariantMap:
        return addDictionary(value.toMap());
    case QMetaType::QVariantHash: {
        QVariantMap map;
        const QVariantHash hash = value.toHash();
        for (auto it = hash.constBegin(); it != hash.constEnd(); ++it) {
            map.insert(it.key(), it.value());
        }
        return addDictionary(map);
    }
    case QMetaType::QUrl: {
        const QUrl url = value.toUrl();
        if (url.isEmpty()) {
            return 0;
        }
        const quint64 text = addShared(url.toString(QUrl::FullyEncoded));
        return addObject({KeyedArchive::URLClass}, {{QStringLiteral("string"), uid(text)}});
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid()) {
            refuse(QStringLiteral("An invalid date has no archived form"));
            return 0;
        }
        const double seconds = double(date.toMSecsSinceEpoch()) / 1000.0;
        return addObject({KeyedArchive::DateClass}, {{QStringLiteral("time"), seconds}});
    }
    default:
        return addShared(value);
    }
}

// Texts, numbers, booleans and data: stored once however often they occur.
quint64 KeyedArchiver::addShared(const QVariant &value)
{
    auto store = [this](auto &table, const auto &key, const QVariant &stored) {
        const auto found = table.constFind(key);
        if (found != table.constEnd()) {
            return found.value();
        }
        const quint64 index = quint64(m_objects.size());
        m_objects.append(stored);
        table.insert(key, index);
        return index;
    };
    switch (value.typeId()) {
    case QMetaType::QString:
        // A NUL would end the text early in the property list.
        if (value.toString().contains(QChar(0))) {
            refuse(QStringLiteral("A text with a NUL character has no archived form"));
            return 0;
        }
        return store(m_texts, value.toString(), value);
    case QMetaType::QByteArray:
        return store(m_data, value.toByteArray(), value);
    case QMetaType::Bool: {
        quint64 &slot = m_booleans[value.toBool() ? 1 : 0];
        if (slot == 0) {
            slot = quint64(m_objects.size());
            m_objects.append(value.toBool());
        }
        return slot;
    }
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::UShort:
        return store(m_integers, value.toLongLong(), QVariant(value.toLongLong()));
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max())) {
            break;
        }
        return store(m_integers, value.toLongLong(), QVariant(value.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float: {
        const double real = value.toDouble();
        quint64 bits = 0;
        std::memcpy(&bits, &real, sizeof bits);
        return store(m_reals, bits, QVariant(real));
    }
    default:
        break;
    }
    refuse(QStringLiteral("A value of type %1 has no archived form")
               .arg(QString::fromLatin1(value.typeName())));
    return 0;
}

// Built-in objects (lists, dictionaries, URLs, dates, images) with equal
// contents are written once: a catalogue repeats many small lists and
// dictionaries from app to app.
quint64 KeyedArchiver::addObject(const QStringList &classes, QVariantMap fields)
{
    fields.insert(QStringLiteral("$class"), uid(addClass(classes)));
    const QByteArray key = contentKey(fields);
    const auto found = m_sharedObjects.constFind(key);
    if (found != m_sharedObjects.constEnd()) {
        return found.value();
    }
    const quint64 index = quint64(m_objects.size());
    m_objects.append(fields);
    m_sharedObjects.insert(key, index);
    return index;
}

// The fields of a built-in object as bytes: keys, references and inline reals.
QByteArray KeyedArchiver::contentKey(const QVariantMap &fields)
{
    QByteArray key;
    auto appendNumber = [&key](quint64 number) {
        key.append(reinterpret_cast<const char *>(&number), sizeof number);
    };
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        key.append(it.key().toUtf8()).append('\0');
        const QVariant &value = it.value();
        if (value.metaType() == QMetaType::fromType<PropertyListUid>()) {
            key.append('u');
            appendNumber(value.value<PropertyListUid>().value);
        } else if (value.typeId() == QMetaType::QVariantList) {
            const QVariantList list = value.toList();
            key.append('l');
            appendNumber(quint64(list.size()));
            for (const QVariant &item : list) {
                appendNumber(item.value<PropertyListUid>().value);
            }
        } else {
            const double real = value.toDouble();
            quint64 bits = 0;
            std::memcpy(&bits, &real, sizeof bits);
            key.append('r');
            appendNumber(bits);
        }
    }
    return key;
}

quint64 KeyedArchiver::addClass(const QStringList &classes)
{
    const QString &name = classes.first();
    const auto found = m_classes.constFind(name);
    if (found != m_classes.constEnd()) {
        return found.value();
    }
    const quint64 index = quint64(m_objects.size());
    m_objects.append(
        QVariantMap{{QStringLiteral("$classname"), name}, {QStringLiteral("$classes"), classes}});
    m_classes.insert(name, index);
    return index;
}

quint64 KeyedArchiver::addCodedObject(const ArchivableObject &object)
{
    if (object.classes.isEmpty() || !object.encode) {
        refuse(QStringLiteral("An archivable object has no class or no encoder"));
        return 0;
    }
    ++m_codedObjects;
    // The object takes its number before its values, so that objects appear
    // in the order they are written.
    const quint64 index = quint64(m_objects.size());
    m_objects.append(QVariant());
    QVariantMap fields;
    {
        Restore<QVariantMap *> current(m_current, &fields);
        object.encode(*this);
    }
    fields.insert(QStringLiteral("$class"), uid(addClass(object.classes)));
    m_objects[qsizetype(index)] = fields;
    return index;
}

quint64 KeyedArchiver::addList(const QVariantList &list)
{
    QVariantList items;
    items.reserve(list.size());
    for (const QVariant &item : list) {
        if (!item.isValid()) {
            refuse(QStringLiteral("A list holds an invalid value"));
            return 0;
        }
        items.append(uid(add(item)));
    }
    return addObject({KeyedArchive::ArrayClass}, {{QStringLiteral("items"), items}});
}

// A dictionary's entries are the object's own keys, each referring to its
// value; keys that begin with "$" get one more "$" so they cannot be taken for
// the archive's own keys.
quint64 KeyedArchiver::addDictionary(const QVariantMap &map)
{
    QVariantMap fields;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (!it.value().isValid() || it.key().contains(QChar(0))) {
            refuse(QStringLiteral("A dictionary holds an invalid value or a key with a NUL"));
            return 0;
        }
        const QString key =
            it.key().startsWith(QLatin1Char('$')) ? QLatin1Char('$') + it.key() : it.key();
        fields.insert(fields.cend(), key, uid(add(it.value())));
    }
    return addObject({KeyedArchive::DictionaryClass}, fields);
}

// An image that has no PNG form is written as nothing rather than failing the
// whole archive over one icon.
quint64 KeyedArchiver::addImage(const QVariant &value)
{
    const Image image = value.value<Image>();
    const auto png = image.PNGRepresentation();
    if (!png) {
        return 0;
    }
    const quint64 data = addShared(*png);
    return addObject({KeyedArchive::ImageClass}, {{QStringLiteral("width"), image.width()},
                                                  {QStringLiteral("height"), image.height()},
                                                  {QStringLiteral("png"), uid(data)}});
}

Result<QByteArray> KeyedArchiver::finish(quint64 root)
{
    const QVariantMap archive{
        {QStringLiteral("$archiver"), QString(KeyedArchive::archiverName)},
        {QStringLiteral("$version"), KeyedArchive::version},
        {QStringLiteral("$top"), QVariantMap{{QStringLiteral("root"), uid(root)}}},
        {QStringLiteral("$objects"), m_objects},
    };
    return PropertyList::writeBinary(archive);
}
