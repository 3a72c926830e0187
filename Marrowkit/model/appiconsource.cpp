#include "Marrowkit/model/appiconsource.h"

#include "Marrowkit/icons/ios7roundedrect.h"
#include "Marrowkit/icons/pngheader.h"
#include "Marrowkit/icons/renderediconcache.h"
#include "Marrowkit/platform/saferead.h"
#include "model/simulatorappvalues_p.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using namespace SimulatorAppValues;

namespace {

// Icon canvas, in points.
constexpr qreal iconSide = 28.5;
constexpr qreal tvIconHeight = 17.1;
constexpr qreal watchCornerRadius = 13.5;
constexpr qreal tvCornerRadius = 1.5;
constexpr qreal iconCornerRadius = 6.525;

// Bumped whenever drawing changes, so no older picture is taken from the cache.
constexpr const char *drawingVersion = "1";

// The side in pixels the kind's home screen shows an app icon at: the size
// the best icon file is chosen for.
qreal homeScreenSide(DeviceType type)
{
    return (isWatch(type) ? 40 : isPad(type) ? 76 : 60) * (isRetina(type) ? 2 : 1);
}

QString templateName(DeviceType type)
{
    return isWatch(type) ? QStringLiteral("WatchTemplate")
           : isTV(type)  ? QStringLiteral("TVTemplate")
                         : QStringLiteral("iOSTemplate");
}

// The library's artwork, loaded once per process.
std::optional<Image> templateImage(const QString &name)
{
    static std::mutex mutex;
    static QHash<QString, std::optional<Image>> cache;
    std::lock_guard lock(mutex);
    const auto found = cache.constFind(name);
    if (found != cache.constEnd()) {
        return found.value();
    }
    auto image = Image::fromFile(QStringLiteral(":/Marrowkit/") + name + QStringLiteral(".png"));
    cache.insert(name, image);
    return image;
}

QPainterPath iconClip(DeviceType type, const QRectF &rect)
{
    QPainterPath path;
    if (isWatch(type)) {
        path.addRoundedRect(rect, watchCornerRadius, watchCornerRadius);
    } else if (isTV(type)) {
        path.addRoundedRect(rect, tvCornerRadius, tvCornerRadius);
    } else {
        path = bezierPathWithIOS7RoundedRect(rect, iconCornerRadius);
    }
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

bool isSanePixelSize(QSize size)
{
    return size.width() > 0 && size.height() > 0 &&
           size.width() <= ImageRepresentation::maximumPixelSide &&
           size.height() <= ImageRepresentation::maximumPixelSide;
}

// One icon file as the scan sees it: its identity and the pixel size its
// header states.
struct IconFile
{
    QString path;
    QSize pixels;
    qint64 size = 0;
    qint64 modifiedNs = 0;
};

// Reads the header of a regular file of at most the image limit (a final
// link is followed, as for any icon file; a FIFO or device is refused
// without blocking). Files that are not PNGs are rare: their size comes from
// Qt's reader over the whole file.
std::optional<IconFile> readIconFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info = {};
    QByteArray head(pngHeaderBytes, Qt::Uninitialized);
    const bool regular =
        ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= SafeRead::imageLimit;
    const ssize_t got = regular ? ::pread(fd, head.data(), size_t(head.size()), 0) : -1;
    ::close(fd);
    if (!regular || got < 0) {
        return std::nullopt;
    }
    head.truncate(qsizetype(got));
    auto pixels = pngPixelSize(head);
    if (!pixels) {
        auto bytes = SafeRead::readRegularFile(path, SafeRead::imageLimit, SafeRead::Links::Follow);
        if (bytes.isFailure()) {
            return std::nullopt;
        }
        QByteArray data = *bytes.value();
        QBuffer buffer(&data);
        QImageReader reader(&buffer);
        if (!reader.canRead()) {
            return std::nullopt;
        }
        pixels = reader.size();
    }
    if (!pixels || !isSanePixelSize(*pixels)) {
        return std::nullopt;
    }
    return IconFile{path, *pixels, qint64(info.st_size),
                    qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

// Several apps of one kind share a template: its PNG is made once per process.
QByteArray sharedTemplatePng(const AppIconSource &source)
{
    static std::mutex mutex;
    static QHash<QByteArray, QByteArray> pictures;
    const QByteArray key = source.cacheKey();
    {
        std::lock_guard lock(mutex);
        if (const auto found = pictures.constFind(key); found != pictures.constEnd()) {
            return found.value();
        }
    }
    QByteArray png = RenderedIconCache::shared().pngFor(key, source.pixels(),
                                                        [&source] { return source.renderPng(); });
    if (!png.isEmpty()) {
        std::lock_guard lock(mutex);
        pictures.insert(key, png);
    }
    return png;
}

} // namespace

std::optional<AppIconSource>
AppIconSource::bestBundleFile(const QString &bundle, const QStringList &names, DeviceType type)
{
    // The same choice as drawing the best of all the files' pictures: the
    // smallest that covers the side, else the largest, the first on a tie.
    const qreal side = homeScreenSide(type);
    const QSet<QString> present = fileNamesIn(bundle);
    std::optional<IconFile> covering;
    std::optional<IconFile> largest;
    auto area = [](const IconFile &file) {
        return qint64(file.pixels.width()) * file.pixels.height();
    };
    for (const QString &name : names) {
        for (const char *suffix : {"", "@2x", "@3x", "@2x~ipad", "~ipad"}) {
            const QString relative = name + QLatin1String(suffix) + QStringLiteral(".png");
            const bool inSubfolder = relative.contains(QLatin1Char('/'));
            if (!staysInside(relative) || (!inSubfolder && !present.contains(relative))) {
                continue;
            }
            const auto file = readIconFile(bundle + QLatin1Char('/') + relative);
            if (!file) {
                continue;
            }
            if (file->pixels.width() >= side && file->pixels.height() >= side &&
                (!covering || area(*file) < area(*covering))) {
                covering = file;
            }
            if (!largest || area(*file) > area(*largest)) {
                largest = file;
            }
        }
    }
    const auto &best = covering ? covering : largest;
    if (!best) {
        return std::nullopt;
    }
    AppIconSource source(Kind::File, type);
    source.m_path = best->path;
    source.m_fileSize = best->size;
    source.m_modifiedNs = best->modifiedNs;
    return source;
}

AppIconSource AppIconSource::templateFor(DeviceType type)
{
    AppIconSource source(Kind::Template, type);
    source.m_path = templateName(type);
    return source;
}

AppIconSource AppIconSource::fromPicture(const Image &picture, DeviceType type)
{
    AppIconSource source(Kind::Picture, type);
    source.m_picture = picture;
    return source;
}

QSizeF AppIconSource::canvas() const
{
    return {iconSide, isTV(m_type) ? tvIconHeight : iconSide};
}

QSize AppIconSource::pixels() const
{
    const qreal scale = ImageRepresentation::drawingScale;
    return {qCeil(canvas().width() * scale), qCeil(canvas().height() * scale)};
}

QByteArray AppIconSource::cacheKey() const
{
    if (m_kind == Kind::Picture) {
        return {};
    }
    const QSize size = pixels();
    QByteArray key = QByteArrayLiteral("app icon ") + drawingVersion + '\n' +
                     rawValue(m_type).toUtf8() + '\n' + QByteArray::number(size.width()) + 'x' +
                     QByteArray::number(size.height()) + '\n';
    if (m_kind == Kind::Template) {
        return key + "template\n" + m_path.toUtf8();
    }
    return key + "file\n" + QFile::encodeName(m_path) + '\n' + QByteArray::number(m_fileSize) +
           '\n' + QByteArray::number(m_modifiedNs);
}

std::optional<Image> AppIconSource::picture() const
{
    if (m_kind == Kind::Picture) {
        return m_picture;
    }
    if (m_kind == Kind::File) {
        if (const auto file = Image::fromFile(m_path)) {
            const qreal side = homeScreenSide(m_type);
            if (auto best = file->bestRepresentationForRect(QRectF(0, 0, side, side))) {
                Image chosen;
                chosen.addRepresentation(*best);
                return chosen;
            }
        }
    }
    auto artwork = templateImage(templateName(m_type));
    if (artwork) {
        artwork->setTemplate(false);
    }
    return artwork;
}

Image AppIconSource::drawing() const
{
    auto source = picture();
    if (!source) {
        return {};
    }
    const Image picture = std::move(*source);
    const DeviceType type = m_type;
    return Image::withDrawingHandler(
        canvas(), [picture, type](QPainter &painter, const QRectF &rect) {
            if (!painter.isActive()) {
                return false;
            }
            painter.save();
            painter.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
            painter.setClipPath(iconClip(type, rect));
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.setOpacity(1.0);
            const bool drawn = picture.drawInRect(painter, rect);
            painter.restore();
            return drawn;
        });
}

QByteArray AppIconSource::renderPng() const
{
    return drawing().PNGRepresentation().value_or(QByteArray());
}

Image AppIconSource::icon() const
{
    const AppIconSource source = *this;
    auto producer = [source]() -> QByteArray {
        if (source.m_kind == Kind::Picture) {
            return source.renderPng();
        }
        if (source.m_kind == Kind::Template) {
            return sharedTemplatePng(source);
        }
        return RenderedIconCache::shared().pngFor(source.cacheKey(), source.pixels(),
                                                  [&source] { return source.renderPng(); });
    };
    Image image(canvas());
    image.addRepresentation(
        ImageRepresentation::fromPngProducer(canvas(), pixels(), std::move(producer)));
    return image;
}
