#include "Marrowkit/model/simulatorcoding.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorproxydevice.h"
#include "Marrowkit/plist/keyedarchiver.h"

#include <QDateTime>

using namespace KeyedArchive;

namespace {

const QString itemClassName = QStringLiteral("SimulatorItem");

QVariant itemValue(const SimulatorItemPtr &item)
{
    return QVariant::fromValue(item);
}

// A decoded value that should be an item of class T.
template<typename T> std::shared_ptr<T> itemOf(const QVariant &value)
{
    if (value.metaType() != QMetaType::fromType<SimulatorItemPtr>()) {
        return nullptr;
    }
    return std::dynamic_pointer_cast<T>(value.value<SimulatorItemPtr>());
}

template<typename T> std::optional<QList<std::shared_ptr<T>>> itemsOf(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    QList<std::shared_ptr<T>> items;
    for (const QVariant &element : value.toList()) {
        auto item = itemOf<T>(element);
        if (!item) {
            return std::nullopt;
        }
        items.append(item);
    }
    return items;
}

bool isContainer(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap || value.typeId() == QMetaType::QVariantList ||
           value.typeId() == QMetaType::QStringList;
}

// Whether lists and dictionaries nest in `value` at most `limit` deep, the
// value itself counted. Decoded values are bounded in their expanded size,
// so walking one ends soon.
bool nestsAtMost(const QVariant &value, int limit)
{
    if (!isContainer(value)) {
        return true;
    }
    if (limit < 1) {
        return false;
    }
    const QVariantList children =
        value.typeId() == QMetaType::QVariantMap ? value.toMap().values() : value.toList();
    for (const QVariant &child : children) {
        if (!nestsAtMost(child, limit - 1)) {
            return false;
        }
    }
    return true;
}

// The parts of an info dictionary that have a property-list form, nested no
// deeper than apps are read with. Info dictionaries are read from apps' own
// files; one odd value must not keep a whole catalogue from being sent.
// `depth` is the nesting `value` would be at, the info dictionary's being 1.
std::optional<QVariant> archivableValue(const QVariant &value, int depth)
{
    if (isContainer(value) && depth > SimulatorCoding::maximumInfoNesting) {
        return std::nullopt;
    }
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.constBegin(); it != source.constEnd(); ++it) {
            if (auto kept = archivableValue(it.value(), depth + 1);
                kept && !it.key().contains(QChar(0))) {
                map.insert(it.key(), *kept);
            }
        }
        return map;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QVariant &item : value.toList()) {
            if (auto kept = archivableValue(item, depth + 1)) {
                list.append(*kept);
            }
        }
        return list;
    }
    case QMetaType::QString:
        if (value.toString().contains(QChar(0))) {
            return std::nullopt;
        }
        return value;
    case QMetaType::QDateTime:
        if (!value.toDateTime().isValid()) {
            return std::nullopt;
        }
        return value;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::QByteArray:
        return value;
    default:
        return std::nullopt;
    }
}

std::optional<QUrl> optionalFileURL(KeyedUnarchiver &coder, const QString &key)
{
    auto value = coder.decodeObject(key, {URLClass});
    if (!value || !value->toUrl().isLocalFile()) {
        return std::nullopt;
    }
    return value->toUrl();
}

} // namespace

const QString &SimulatorCoding::deviceClassName()
{
    static const QString name = QStringLiteral("SimulatorDevice");
    return name;
}

const QString &SimulatorCoding::proxyDeviceClassName()
{
    static const QString name = QStringLiteral("SimulatorProxyDevice");
    return name;
}

const QString &SimulatorCoding::appClassName()
{
    static const QString name = QStringLiteral("SimulatorApp");
    return name;
}

const QString &SimulatorCoding::updateClassName()
{
    static const QString name = QStringLiteral("SimulatorUpdate");
    return name;
}

QString SimulatorCoding::errorDomain()
{
    return QStringLiteral("dev.marrowby.marrowby.SimulatorCoding");
}

Error SimulatorCoding::error(ErrorCode code, const QString &description)
{
    Error error{errorDomain(), code, {}};
    error.userInfo.insert(Error::localizedDescriptionKey(), description);
    return error;
}

Result<QByteArray>
SimulatorCoding::archivedDataWithDevices(const QList<SimulatorDevicePtr> &devices)
{
    QVariantList list;
    for (const SimulatorDevicePtr &device : devices) {
        auto object = archivable(device);
        if (!object) {
            return Result<QByteArray>::failure(
                error(NotArchivable, QStringLiteral("The device list holds no device")));
        }
        list.append(QVariant::fromValue(*object));
    }
    return KeyedArchiver::archivedDataWithRootObject(list);
}

Result<QByteArray> SimulatorCoding::archivedDataWithUpdate(const SimulatorUpdate &update)
{
    return KeyedArchiver::archivedDataWithRootObject(QVariant::fromValue(archivable(update)));
}

Result<QList<SimulatorDevicePtr>> SimulatorCoding::devicesFromArchive(const QByteArray &data)
{
    const auto root =
        KeyedUnarchiver::unarchivedObject(data, {ArrayClass, deviceClassName()}, decoders());
    return root.flatMap([](const QVariant &value) {
        return Result<QList<SimulatorDevicePtr>>::fromOptional(itemsOf<SimulatorDevice>(value), [] {
            return error(WrongRoot, QStringLiteral("The archive's root is not a device list"));
        });
    });
}

Result<SimulatorUpdate> SimulatorCoding::updateFromArchive(const QByteArray &data)
{
    const auto root = KeyedUnarchiver::unarchivedObject(data, {updateClassName()}, decoders());
    return root.flatMap([](const QVariant &value) {
        const auto update = value.metaType() == QMetaType::fromType<SimulatorUpdatePtr>()
                                ? value.value<SimulatorUpdatePtr>()
                                : nullptr;
        if (!update) {
            return Result<SimulatorUpdate>::failure(
                error(WrongRoot, QStringLiteral("The archive's root is not an update")));
        }
        return Result<SimulatorUpdate>::success(*update);
    });
}

std::optional<ArchivableObject> SimulatorCoding::archivable(const SimulatorItemPtr &item)
{
    if (auto device = std::dynamic_pointer_cast<const SimulatorDevice>(item)) {
        return ArchivableObject{{deviceClassName(), itemClassName}, [device](KeyedArchiver &coder) {
                                    encodeWithCoder(*device, coder);
                                }};
    }
    if (auto app = std::dynamic_pointer_cast<const SimulatorApp>(item)) {
        return ArchivableObject{{appClassName(), itemClassName},
                                [app](KeyedArchiver &coder) { encodeWithCoder(*app, coder); }};
    }
    if (auto proxy = std::dynamic_pointer_cast<const SimulatorProxyDevice>(item)) {
        return ArchivableObject{{proxyDeviceClassName(), itemClassName},
                                [proxy](KeyedArchiver &coder) { encodeWithCoder(*proxy, coder); }};
    }
    return std::nullopt;
}

ArchivableObject SimulatorCoding::archivable(const SimulatorUpdate &update)
{
    return {{updateClassName()},
            [update](KeyedArchiver &coder) { encodeWithCoder(update, coder); }};
}

void SimulatorCoding::encodeWithCoder(const SimulatorDevice &device, KeyedArchiver &coder)
{
    QVariantList apps;
    for (const SimulatorAppPtr &app : device.apps()) {
        // An empty slot has no archived form; the list fails as a whole.
        auto object = archivable(app);
        apps.append(object ? QVariant::fromValue(*object) : QVariant());
    }
    coder.encodeObject(device.uuid(), QStringLiteral("uuid"));
    coder.encodeObject(device.name(), QStringLiteral("name"));
    coder.encodeObject(device.displayName(), QStringLiteral("displayName"));
    coder.encodeObject(apps, QStringLiteral("apps"));
    coder.encodeObject(device.version(), QStringLiteral("version"));
    coder.encodeObject(rawValue(device.deviceType()), QStringLiteral("type"));
    coder.encodeObject(qint64(rawValue(device.deviceState())), QStringLiteral("state"));
    coder.encodeObject(device.containerURL() ? QVariant(*device.containerURL()) : QVariant(),
                       QStringLiteral("containerUrl"));
}

void SimulatorCoding::encodeWithCoder(const SimulatorProxyDevice &device, KeyedArchiver &coder)
{
    coder.encodeObject(device.uuid(), QStringLiteral("uuid"));
}

void SimulatorCoding::encodeWithCoder(const SimulatorApp &app, KeyedArchiver &coder)
{
    coder.encodeObject(app.uuid(), QStringLiteral("uuid"));
    coder.encodeObject(app.name(), QStringLiteral("name"));
    coder.encodeObject(archivableValue(app.info(), 1).value_or(QVariantMap()),
                       QStringLiteral("info"));
    if (app.icon()) {
        coder.encodeObject(QVariant::fromValue(*app.icon()), QStringLiteral("icon"));
    }
    if (app.bundleURL()) {
        coder.encodeObject(*app.bundleURL(), QStringLiteral("bundle"));
    }
    if (app.sandboxURL()) {
        coder.encodeObject(*app.sandboxURL(), QStringLiteral("sandbox"));
    }
    coder.encodeObject(app.creationDate(), QStringLiteral("created"));
    coder.encodeObject(app.hasTemplateIcon(), QStringLiteral("hasTemplateIcon"));
}

void SimulatorCoding::encodeWithCoder(const SimulatorUpdate &update, KeyedArchiver &coder)
{
    QVariantList items;
    for (const SimulatorItemPtr &item : update.items()) {
        auto object = archivable(item);
        items.append(object ? QVariant::fromValue(*object) : QVariant());
    }
    coder.encodeObject(rawValue(update.type()), QStringLiteral("type"));
    coder.encodeObject(items, QStringLiteral("items"));
}

std::optional<QVariant> SimulatorCoding::initDeviceWithCoder(KeyedUnarchiver &coder)
{
    const auto uuid = coder.decodeRequiredText(QStringLiteral("uuid"));
    const auto name = coder.decodeRequiredText(QStringLiteral("name"));
    const auto displayName = coder.decodeRequiredText(QStringLiteral("displayName"));
    const auto apps =
        coder.decodeRequiredObject(QStringLiteral("apps"), {ArrayClass, appClassName()});
    const auto version = coder.decodeRequiredText(QStringLiteral("version"));
    const auto type = coder.decodeRequiredText(QStringLiteral("type"));
    const auto state = coder.decodeRequiredObject(QStringLiteral("state"), {NumberClass});
    const auto containerURL = optionalFileURL(coder, QStringLiteral("containerUrl"));
    if (coder.hasFailed() || !uuid || !name || !displayName || !apps || !version || !type ||
        !state) {
        return std::nullopt;
    }
    const auto appList = itemsOf<SimulatorApp>(*apps);
    if (!appList || state->typeId() != QMetaType::LongLong) {
        return std::nullopt;
    }
    // Numbers outside the states' range fall back to Shutdown, as any unknown
    // state does, rather than being cut down to an int that might be valid.
    const qint64 stateNumber = state->toLongLong();
    const int stateValue = stateNumber >= -1 && stateNumber <= 4 ? int(stateNumber) : 1;
    auto device = SimulatorDevice::create(*uuid, *name, *appList, *version, *type, stateValue);
    device->setDisplayName(*displayName);
    device->setContainerURL(containerURL);
    return itemValue(device);
}

std::optional<QVariant> SimulatorCoding::initProxyDeviceWithCoder(KeyedUnarchiver &coder)
{
    const auto uuid = coder.decodeRequiredText(QStringLiteral("uuid"));
    if (!uuid) {
        return std::nullopt;
    }
    return itemValue(std::make_shared<SimulatorProxyDevice>(*uuid));
}

std::optional<QVariant> SimulatorCoding::initAppWithCoder(KeyedUnarchiver &coder)
{
    const auto uuid = coder.decodeRequiredText(QStringLiteral("uuid"));
    const auto info = coder.decodeRequiredObject(QStringLiteral("info"), propertyListClasses());
    const auto icon = coder.decodeObject(QStringLiteral("icon"), {ImageClass});
    const auto bundle = optionalFileURL(coder, QStringLiteral("bundle"));
    const auto sandbox = optionalFileURL(coder, QStringLiteral("sandbox"));
    const auto created = coder.decodeObject(QStringLiteral("created"), {DateClass});
    const auto hasTemplateIcon =
        coder.decodeObject(QStringLiteral("hasTemplateIcon"), {BooleanClass});
    if (coder.hasFailed() || !uuid || !info || info->typeId() != QMetaType::QVariantMap ||
        !nestsAtMost(*info, maximumInfoNesting)) {
        return std::nullopt;
    }
    auto app = SimulatorApp::create(
        *uuid, info->toMap(), icon ? std::optional<Image>(icon->value<Image>()) : std::nullopt,
        bundle, sandbox, created ? std::optional<QDateTime>(created->toDateTime()) : std::nullopt,
        hasTemplateIcon ? hasTemplateIcon->toBool() : true);
    if (!app) {
        return std::nullopt; // an info dictionary without a text bundle identifier
    }
    return itemValue(app);
}

std::optional<QVariant> SimulatorCoding::initUpdateWithCoder(KeyedUnarchiver &coder)
{
    const auto type = coder.decodeRequiredText(QStringLiteral("type"));
    const auto items = coder.decodeRequiredObject(
        QStringLiteral("items"),
        {ArrayClass, appClassName(), proxyDeviceClassName(), deviceClassName()});
    if (coder.hasFailed() || !type || !items) {
        return std::nullopt;
    }
    const auto updateType = simulatorUpdateTypeFromRawValue(*type);
    const auto itemList = itemsOf<SimulatorItem>(*items);
    if (!updateType || !itemList) {
        return std::nullopt;
    }
    return QVariant::fromValue(std::make_shared<SimulatorUpdate>(*updateType, *itemList));
}

const KeyedUnarchiver::DecoderTable &SimulatorCoding::decoders()
{
    static const KeyedUnarchiver::DecoderTable table{
        {deviceClassName(), &SimulatorCoding::initDeviceWithCoder},
        {proxyDeviceClassName(), &SimulatorCoding::initProxyDeviceWithCoder},
        {appClassName(), &SimulatorCoding::initAppWithCoder},
        {updateClassName(), &SimulatorCoding::initUpdateWithCoder},
    };
    return table;
}
