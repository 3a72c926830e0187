#include "Marrowkit/tests/archivefuzz.h"

#include "Marrowkit/image.h"
#include "Marrowkit/keyedarchiver.h"
#include "Marrowkit/keyedunarchiver.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QUrl>

namespace archivefuzz {

namespace {

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
            items << print(item);
        }
        return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    case QMetaType::QVariantMap: {
        QStringList items;
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            items << it.key() + QLatin1Char(':') + print(it.value());
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
        seeds << KeyedArchiver::archivedDataWithRootObject(value).value();
    }
    return seeds;
}

const QStringList &classNames()
{
    static const QStringList names = valueClasses() + QStringList{QStringLiteral("Unknown")};
    return names;
}

std::optional<Decoded> decodeAny(const QByteArray &data)
{
    auto value = KeyedUnarchiver::unarchivedObject(data, valueClasses());
    if (!value) {
        return std::nullopt;
    }
    return Decoded{*value, print(*value)};
}

} // namespace archivefuzz
