#define MARROWBY_LOG_SOURCE "Marrowkit/IcnsConverter"

#include "Marrowkit/icons/icnsconverter.h"

#include "Marrowkit/foundation/log.h"
#include "Marrowkit/icons/iconset.h"
#include "Marrowkit/platform/saferead.h"
#include "Marrowkit/platform/scratchfolder.h"
#include "Marrowkit/platform/usercache.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QtEndian>

#include <limits>
#include <memory>
#include <mutex>

namespace {

// An icns of seven PNG images of up to 1024 pixels; anything larger in the
// cache is not ours.
constexpr qint64 maximumIcnsSize = qint64(64) * 1024 * 1024;

// The element types by the PNG's pixel width.
QByteArray elementType(int pixelWidth)
{
    switch (pixelWidth) {
    case 256:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("ic08"));
    case 512:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("ic09"));
    case 1024:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("ic10"));
    default:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("it32"));
    }
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QString sizeName(int side)
{
    return QString::number(side) + QLatin1Char('x') + QString::number(side);
}

Result<QByteArray> conversionFailure(const QString &name, const QString &reason)
{
    return Result<QByteArray>::failure(
        resultError(QStringLiteral("No icns data for %1: %2").arg(name, reason)));
}

// One lock per name that is being converted; entries go when nobody holds
// them.
class ConversionLocks
{
public:
    std::shared_ptr<std::mutex> forName(const QString &name)
    {
        const std::lock_guard guard(m_guard);
        auto lock = m_locks.value(name).lock();
        if (!lock) {
            lock = std::make_shared<std::mutex>();
            m_locks.insert(name, lock);
        }
        for (auto it = m_locks.begin(); it != m_locks.end();) {
            it = it.value().expired() ? m_locks.erase(it) : std::next(it);
        }
        return lock;
    }

private:
    std::mutex m_guard;
    QHash<QString, std::weak_ptr<std::mutex>> m_locks;
};

ConversionLocks &conversionLocks()
{
    static ConversionLocks locks;
    return locks;
}

// The cached icns at `path` when it is a regular file holding a whole
// container.
std::optional<QByteArray> validCache(const QString &path)
{
    const auto data = SafeRead::readRegularFile(path, maximumIcnsSize, SafeRead::Links::Refuse);
    if (data.isFailure() || !IcnsConverter::isIcnsData(*data.value())) {
        return std::nullopt;
    }
    return *data.value();
}

Iconset iconsetOf(const QList<Image> &images)
{
    Iconset iconset;
    for (const Image &image : images) {
        for (int side : IcnsConverter::possibleSizes()) {
            if (auto copy = image.copyWithSize(QSizeF(side, side))) {
                iconset.addImage(*copy, sizeName(side));
            }
            if (auto copy = image.copyWithSize(QSizeF(2 * side, 2 * side))) {
                iconset.addImage(*copy, sizeName(2 * side));
            }
        }
    }
    return iconset;
}

// Runs the icon tool in a scratch folder of its own and reads what it made.
Result<QByteArray> convertPrivately(const QList<Image> &images, const QString &name)
{
    const auto scratch = ScratchFolder::create(Iconset::cacheName(), QStringLiteral(".icns-"));
    if (scratch.isFailure()) {
        return Result<QByteArray>::failure(*scratch.error());
    }
    const QString output = (*scratch.value())->filePath(name);
    const auto saved = iconsetOf(images).saveIcnsToURL(QUrl::fromLocalFile(output));
    if (saved.isFailure()) {
        return Result<QByteArray>::failure(*saved.error());
    }
    auto data = SafeRead::readRegularFile(output + QStringLiteral(".icns"), maximumIcnsSize,
                                          SafeRead::Links::Refuse);
    if (data.isFailure()) {
        return conversionFailure(name, QStringLiteral("the icon tool made no icns file"));
    }
    if (!IcnsConverter::isIcnsData(*data.value())) {
        return conversionFailure(name, QStringLiteral("the icon tool made no valid icns data"));
    }
    return data;
}

} // namespace

const QList<int> &IcnsConverter::possibleSizes()
{
    static const QList<int> sizes{16, 32, 128, 256, 512};
    return sizes;
}

Result<QString> IcnsConverter::cachePath(const QString &name)
{
    // The name is an app's bundle identifier, read from a file the app ships:
    // it must not lead out of the cache folder.
    if (!UserCache::isPlainName(name)) {
        return Result<QString>::failure(
            resultError(QStringLiteral("%1 cannot name an icns cache file").arg(name)));
    }
    return UserCache::folder(Iconset::cacheName()).map([&name](const QString &folder) {
        return folder + QLatin1Char('/') + name;
    });
}

Result<QByteArray> IcnsConverter::convertImagesToData(const QList<Image> &images,
                                                      const QString &name)
{
    const auto cacheURLPath = cachePath(name);
    if (cacheURLPath.isFailure()) {
        return Result<QByteArray>::failure(*cacheURLPath.error());
    }
    const QString icnsPath = *cacheURLPath.value() + QStringLiteral(".icns");
    // The cache is never invalidated while its entry is whole: one conversion
    // per name for the life of the cache.
    if (auto cached = validCache(icnsPath)) {
        return Result<QByteArray>::success(*cached);
    }
    const auto lock = conversionLocks().forName(name);
    const std::lock_guard converting(*lock);
    // Another thread may have converted this name while we waited.
    if (auto cached = validCache(icnsPath)) {
        return Result<QByteArray>::success(*cached);
    }
    auto data = convertPrivately(images, name);
    if (data.isSuccess()) {
        const QString folder = QFileInfo(icnsPath).path();
        const auto published =
            UserCache::writeAtomically(folder, name + QStringLiteral(".icns"), *data.value());
        if (published.isFailure()) {
            // The data is good; only the next call will convert again.
            MLOG_WARNING(published.error()->localizedDescription());
        }
    }
    return data;
}

Result<QByteArray> IcnsConverter::convertImagesToData(const QList<Image> &images)
{
    QByteArray elements;
    for (const Image &image : images) {
        if (auto element = icnsDataForImage(image); element.isSuccess()) {
            elements += element.value()->first;
        }
    }
    // The length field counts the whole container: its own 8 header bytes and
    // every element with its header.
    const qint64 total = qint64(elements.size()) + 8;
    if (total > qint64(std::numeric_limits<quint32>::max())) {
        return Result<QByteArray>::failure(
            resultError(QStringLiteral("The icns container would be larger than 4 GB.")));
    }
    return Result<QByteArray>::success(dataForOSType(uint32FromFourCharString("icns")) +
                                       bigEndian32(quint32(total)) + elements);
}

Result<std::pair<QByteArray, quint32>> IcnsConverter::icnsDataForImage(const Image &image)
{
    using Element = Result<std::pair<QByteArray, quint32>>;
    QImage bitmap = image.bitmap();
    if (bitmap.isNull()) {
        return Element::failure(resultError(QStringLiteral("The image has no bitmap form.")));
    }
    if (bitmap.width() != bitmap.height()) {
        return Element::failure(
            resultError(QStringLiteral("The image is not square (%1 x %2 pixels).")
                            .arg(bitmap.width())
                            .arg(bitmap.height())));
    }
    if (!possibleSizes().contains(bitmap.width())) {
        QImage canvas(128, 128, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setOpacity(1.0);
        if (!image.drawInRect(painter, QRectF(0, 0, 128, 128))) {
            return Element::failure(
                resultError(QStringLiteral("The image could not be drawn at 128 x 128.")));
        }
        painter.end();
        bitmap = canvas;
    }
    const auto png = Image::fromBitmap(bitmap).PNGRepresentation();
    if (!png) {
        return Element::failure(resultError(QStringLiteral("The image has no PNG form.")));
    }
    if (quint64(png->size()) > std::numeric_limits<quint32>::max() - 8) {
        return Element::failure(
            resultError(QStringLiteral("The image's PNG form is too large for an icns element.")));
    }
    const auto length = quint32(png->size());
    return Element::success(
        std::make_pair(elementType(bitmap.width()) + bigEndian32(length + 8) + *png, length));
}

QByteArray IcnsConverter::dataForOSType(quint32 code)
{
    return bigEndian32(code);
}

bool IcnsConverter::isIcnsData(const QByteArray &data)
{
    if (data.size() < 8 || !data.startsWith("icns") ||
        qFromBigEndian<quint32>(data.constData() + 4) != quint64(data.size())) {
        return false;
    }
    qsizetype at = 8;
    while (at < data.size()) {
        if (data.size() - at < 8) {
            return false;
        }
        const quint32 length = qFromBigEndian<quint32>(data.constData() + at + 4);
        if (length < 8 || length > quint64(data.size() - at)) {
            return false;
        }
        at += qsizetype(length);
    }
    return true;
}
