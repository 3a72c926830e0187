#include "Marrowkit/tests/archivefuzz.h"

#include "Marrowkit/icons/image.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatorproxydevice.h"
#include "Marrowkit/plist/keyedarchiver.h"
#include "Marrowkit/plist/keyedunarchiver.h"
#include "Marrowkit/plist/propertylist.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QScopeGuard>
#include <QUrl>

namespace archivefuzz {

namespace {

QString print(const QVariant &value);

// Decoded values share what several references name, so a list or
// dictionary met again prints as it did the first time, and a long part is
// printed as its digest: printing takes time in proportion to the distinct
// objects, not to every path through them.
// Parts printed during one decodeAny (which empties it), by identity.
QHash<const void *, std::pair<QVariant, QString>> &printedParts()
{
    static thread_local QHash<const void *, std::pair<QVariant, QString>> parts;
    return parts;
}

QString printPart(const QVariant &value)
{
    auto &printed = printedParts();
    const void *identity = nullptr;
    if (value.typeId() == QMetaType::QVariantList && !value.toList().isEmpty()) {
        identity = static_cast<const QVariantList *>(value.constData())->constData();
    } else if (value.typeId() == QMetaType::QVariantMap && !value.toMap().isEmpty()) {
        identity = &static_cast<const QVariantMap *>(value.constData())->constBegin().key();
    }
    if (identity) {
        const auto found = printed.constFind(identity);
        if (found != printed.constEnd()) {
            return found->second;
        }
    }
    QString text = print(value);
    if (text.size() > 64) {
        text = QStringLiteral("#") +
               QString::fromLatin1(
                   QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
    }
    if (identity) {
        // The value is kept so that its storage is not reused by another.
        printed.insert(identity, {value, text});
    }
    return text;
}

QString print(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<Image>()) {
        const Image image = value.value<Image>();
        const QByteArray png = image.PNGRepresentation().value_or(QByteArray());
        return QStringLiteral("Image(%1x%2,%3)")
            .arg(image.width())
            .arg(image.height())
            .arg(QString::fromLatin1(
                QCryptographicHash::hash(png, QCryptographicHash::Md5).toHex()));
    }
    switch (value.typeId()) {
    case QMetaType::QVariantList: {
        QStringList items;
        for (const QVariant &item : value.toList()) {
            items << printPart(item);
        }
        return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    case QMetaType::QVariantMap: {
        QStringList items;
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            items << it.key() + QLatin1Char(':') + printPart(it.value());
        }
        return QLatin1Char('{') + items.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    case QMetaType::Double:
        return QStringLiteral("real:") + QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QDateTime:
        return QStringLiteral("date:") + QString::number(value.toDateTime().toMSecsSinceEpoch());
    case QMetaType::QUrl:
        return QStringLiteral("url:") + value.toUrl().toString(QUrl::FullyEncoded);
    case QMetaType::QByteArray:
        return QStringLiteral("data:") + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return QString::fromLatin1(value.typeName()) + QLatin1Char(':') + value.toString();
    }
}

QStringList valueClasses()
{
    return {KeyedArchive::TextClass, KeyedArchive::NumberClass, KeyedArchive::BooleanClass,
            KeyedArchive::DataClass, KeyedArchive::ArrayClass,  KeyedArchive::DictionaryClass,
            KeyedArchive::URLClass,  KeyedArchive::DateClass,   KeyedArchive::ImageClass};
}

QVariant sampleImage()
{
    QImage pixels(12, 12, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::cyan);
    Image image = Image::fromBitmap(pixels);
    image.setSize(QSizeF(6, 6));
    return QVariant::fromValue(image);
}

QString printItem(const SimulatorItemPtr &item)
{
    if (auto app = std::dynamic_pointer_cast<SimulatorApp>(item)) {
        return QStringLiteral("App(%1,%2,%3,%4,%5,%6,%7,%8,%9)")
            .arg(app->uuid(), app->name(), app->versionDescription(), print(app->info()),
                 app->icon() ? print(QVariant::fromValue(*app->icon())) : QStringLiteral("-"),
                 app->bundleURL() ? app->bundleURL()->toString() : QStringLiteral("-"),
                 app->sandboxURL() ? app->sandboxURL()->toString() : QStringLiteral("-"),
                 QString::number(app->creationDate().toMSecsSinceEpoch()),
                 app->hasTemplateIcon() ? QStringLiteral("template") : QStringLiteral("own"));
    }
    if (auto device = std::dynamic_pointer_cast<SimulatorDevice>(item)) {
        QStringList apps;
        for (const SimulatorAppPtr &app : device->apps()) {
            apps << printItem(app) + (app->device() == device ? QString() : QStringLiteral("!"));
        }
        return QStringLiteral("Device(%1,%2,%3,%4,%5,%6,%7,[%8])")
            .arg(device->uuid(), device->name(), device->displayName(), device->version(),
                 rawValue(device->deviceType()), QString::number(rawValue(device->deviceState())),
                 device->containerURL() ? device->containerURL()->toString() : QStringLiteral("-"),
                 apps.join(QLatin1Char(',')));
    }
    return QStringLiteral("Proxy(") + item->uuid() + QLatin1Char(')');
}

SimulatorAppPtr sampleApp(const QString &uuid, bool withIcon)
{
    const QVariantMap info{
        {QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.example.") + uuid},
        {QStringLiteral("CFBundleName"), QStringLiteral("App ") + uuid},
        {QStringLiteral("CFBundleVersion"), QStringLiteral("7")},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0")},
        {QStringLiteral("appGroups"), QVariantList{QStringLiteral("group.") + uuid}},
        {QStringLiteral("UIDeviceFamily"), QVariantList{qint64(1), qint64(2)}},
    };
    return SimulatorApp::create(
        uuid, info, withIcon ? std::optional<Image>(sampleImage().value<Image>()) : std::nullopt,
        QUrl::fromLocalFile(QStringLiteral("/d/Bundle/") + uuid + QStringLiteral("/A.app")),
        QUrl::fromLocalFile(QStringLiteral("/d/Data/") + uuid),
        QDateTime::fromMSecsSinceEpoch(1473760800123, Qt::UTC), !withIcon);
}

} // namespace

QList<QByteArray> seedArchives()
{
    const QVariantList values{
        QVariantMap{
            {QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.example.App")},
            {QStringLiteral("CFBundleIcons"),
             QVariantMap{
                 {QStringLiteral("CFBundlePrimaryIcon"),
                  QVariantMap{{QStringLiteral("CFBundleIconFiles"),
                               QVariantList{QStringLiteral("Icon"), QStringLiteral("Icon")}}}}}},
            {QStringLiteral("flag"), true},
            {QStringLiteral("count"), qint64(42)},
            {QStringLiteral("ratio"), 0.5},
            {QStringLiteral("blob"), QByteArray("\x01\x02", 2)},
        },
        QVariantList{QUrl::fromLocalFile(QStringLiteral("/a/b")),
                     QDateTime::fromMSecsSinceEpoch(1473760800000, Qt::UTC), sampleImage()},
        QStringLiteral("/just/a/path"),
    };
    QList<QByteArray> seeds;
    for (const QVariant &value : values) {
        seeds << KeyedArchiver::archivedDataWithRootObject(value).value().value();
    }
    auto phone = SimulatorDevice::create(
        QStringLiteral("PHONE"), QStringLiteral("iPhone 6"),
        {sampleApp(QStringLiteral("A1"), true), sampleApp(QStringLiteral("A2"), false)},
        QStringLiteral("9.0"), QStringLiteral("iPhone 6"), 3);
    phone->setContainerURL(QUrl::fromLocalFile(QStringLiteral("/d")));
    auto watch = SimulatorDevice::create(
        QStringLiteral("WATCH"), QStringLiteral("Watch"), {sampleApp(QStringLiteral("W1"), false)},
        QStringLiteral("2.0"), QStringLiteral("Apple Watch - 38mm"), 1);
    seeds << SimulatorCoding::archivedDataWithDevices({phone, watch}).value().value();
    seeds << SimulatorCoding::archivedDataWithUpdate(
                 SimulatorUpdate(SimulatorUpdateType::AppsUpdated,
                                 {sampleApp(QStringLiteral("U1"), true)}))
                 .value()
                 .value();
    seeds << SimulatorCoding::archivedDataWithUpdate(
                 SimulatorUpdate(SimulatorUpdateType::DeviceBooted,
                                 {std::make_shared<SimulatorProxyDevice>(QStringLiteral("PHONE"))}))
                 .value()
                 .value();
    return seeds;
}

const QStringList &classNames()
{
    static const QStringList names =
        valueClasses() + QStringList{QStringLiteral("Unknown"), SimulatorCoding::deviceClassName(),
                                     SimulatorCoding::appClassName(),
                                     SimulatorCoding::proxyDeviceClassName(),
                                     SimulatorCoding::updateClassName()};
    return names;
}

namespace {

// The class name of the archive's root object, or nothing: which reader the
// receiving side would use.
std::optional<QString> rootClass(const QByteArray &data)
{
    const auto archive = PropertyList::dictionaryFromData(data).value();
    if (!archive) {
        return std::nullopt;
    }
    const QVariantList objects = archive->value(QStringLiteral("$objects")).toList();
    const QVariant root =
        archive->value(QStringLiteral("$top")).toMap().value(QStringLiteral("root"));
    const quint64 index = root.value<PropertyListUid>().value;
    if (index >= quint64(objects.size())) {
        return std::nullopt;
    }
    const QVariant classRef = objects.at(qsizetype(index)).toMap().value(QStringLiteral("$class"));
    const quint64 classIndex = classRef.value<PropertyListUid>().value;
    if (classRef.metaType() != QMetaType::fromType<PropertyListUid>() ||
        classIndex >= quint64(objects.size())) {
        return QString();
    }
    return objects.at(qsizetype(classIndex)).toMap().value(QStringLiteral("$classname")).toString();
}

} // namespace

std::optional<Decoded> decodeAny(const QByteArray &data)
{
    printedParts().clear();
    const auto forget = qScopeGuard([] { printedParts().clear(); });
    const auto root = rootClass(data);
    if (!root) {
        return std::nullopt;
    }
    if (*root == SimulatorCoding::updateClassName()) {
        auto update = SimulatorCoding::updateFromArchive(data).value();
        if (!update) {
            return std::nullopt;
        }
        QStringList printed{rawValue(update->type())};
        for (const SimulatorItemPtr &item : update->items()) {
            printed << printItem(item);
        }
        return Decoded{QVariant::fromValue(SimulatorCoding::archivable(*update)),
                       printed.join(QLatin1Char('\n'))};
    }
    if (auto devices = SimulatorCoding::devicesFromArchive(data).value()) {
        QVariantList archivable;
        QStringList printed;
        for (const SimulatorDevicePtr &device : *devices) {
            archivable << QVariant::fromValue(*SimulatorCoding::archivable(device));
            printed << printItem(device);
        }
        return Decoded{archivable, printed.join(QLatin1Char('\n'))};
    }
    auto value = KeyedUnarchiver::unarchivedObject(data, valueClasses()).value();
    if (!value) {
        return std::nullopt;
    }
    return Decoded{*value, print(*value)};
}

} // namespace archivefuzz
