// The app's icon: found among the bundle's icon files for the device's kind,
// drawn clipped in the device's style, and converted to icns.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/icons/assetcatalog.h"
#include "Marrowkit/icons/icnsconverter.h"
#include "Marrowkit/icons/ios7roundedrect.h"
#include "Marrowkit/model/infodictionarykey.h"
#include "Marrowkit/model/simulatordevice.h"
#include "model/simulatorappvalues_p.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <dirent.h>
#include <mutex>

using namespace SimulatorAppValues;

namespace {

// Icon canvas, in points.
constexpr qreal iconSide = 28.5;
constexpr qreal tvIconHeight = 17.1;
constexpr qreal watchCornerRadius = 13.5;
constexpr qreal tvCornerRadius = 1.5;
constexpr qreal iconCornerRadius = 6.525;

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

std::optional<QByteArray> resourceData(const QString &name)
{
    QFile file(QStringLiteral(":/Marrowkit/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// The names of the files directly inside `folder`: one listing instead of a
// lookup per candidate icon file.
QSet<QString> fileNamesIn(const QString &folder)
{
    QSet<QString> names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return names;
    }
    while (const dirent *entry = readdir(dir)) {
        names.insert(QFile::decodeName(entry->d_name));
    }
    closedir(dir);
    return names;
}

// Icon file names come from the app's own Info.plist: they may name a file
// in a subfolder of the bundle, never one outside it.
bool staysInside(const QString &relative)
{
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/'))) {
        return false;
    }
    const QStringList parts = relative.split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral("..")) && !relative.contains(QChar(0));
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

} // namespace

std::optional<Image> SimulatorApp::generateIcon()
{
    const auto device = m_device.lock();
    if (!device || *device == *NullDevice()) {
        return std::nullopt;
    }
    const DeviceType type = device->deviceType();
    const QSizeF canvas(iconSide, isTV(type) ? tvIconHeight : iconSide);

    std::optional<QVariantMap> icons;
    if (isPad(type)) {
        icons = dictionary(m_info, InfoDictionaryKey::BundleIconsIPad);
    }
    if (!icons) {
        icons = dictionary(m_info, InfoDictionaryKey::BundleIcons);
    }

    std::optional<Image> source;
    if (icons) {
        const QVariant primary = icons->value(InfoDictionaryKey::BundlePrimaryIcon);
        const auto primaryIcon = dictionary(*icons, InfoDictionaryKey::BundlePrimaryIcon);
        const auto files = primaryIcon
                               ? texts(primaryIcon->value(InfoDictionaryKey::BundleIconFiles))
                               : std::nullopt;
        if (files) {
            if (auto combined = getCombinedIconImageForBundleIcons(files)) {
                const qreal side = (isWatch(type) ? 40
                                    : isPad(type) ? 76
                                                  : 60) *
                                   (isRetina(type) ? 2 : 1);
                if (auto best = combined->bestRepresentationForRect(QRectF(0, 0, side, side))) {
                    source = Image();
                    source->addRepresentation(*best);
                }
            }
        } else if (primary.typeId() == QMetaType::QString && isTV(type) && m_bundleURL) {
            // Only a 400 x 240 image of that name serves (a TV app icon).
            if (auto image = imageNamedFromAssetCatalog(
                    primary.toString(), appending(*m_bundleURL, QStringLiteral("Assets.car")))) {
                source = Image::fromBitmap(*image);
            }
        }
    }
    if (!source) {
        source = templateImage(isWatch(type) ? QStringLiteral("WatchTemplate")
                               : isTV(type)  ? QStringLiteral("TVTemplate")
                                             : QStringLiteral("iOSTemplate"));
        if (!source) {
            return std::nullopt;
        }
        source->setTemplate(false);
        m_hasTemplateIcon = true;
    }

    const Image picture = *source;
    return Image::withDrawingHandler(
        canvas, [picture, type](QPainter &painter, const QRectF &rect) {
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

std::optional<Image>
SimulatorApp::getCombinedIconImageForBundleIcons(const std::optional<QStringList> &names) const
{
    if (!names || !m_bundleURL) {
        return std::nullopt;
    }
    const QString bundle = m_bundleURL->toLocalFile();
    const QSet<QString> present = fileNamesIn(bundle);
    Image combined;
    for (const QString &name : *names) {
        for (const char *suffix : {"", "@2x", "@3x", "@2x~ipad", "~ipad"}) {
            const QString file = name + QLatin1String(suffix) + QStringLiteral(".png");
            const bool inSubfolder = file.contains(QLatin1Char('/'));
            if (!staysInside(file) || (!inSubfolder && !present.contains(file))) {
                continue;
            }
            const auto image = Image::fromFile(bundle + QLatin1Char('/') + file);
            if (!image) {
                continue;
            }
            for (const ImageRepresentation &rep : image->representations()) {
                combined.addRepresentation(rep);
            }
        }
    }
    if (combined.representations().isEmpty()) {
        return std::nullopt;
    }
    return combined;
}

std::optional<QByteArray> SimulatorApp::iconData() const
{
    if (m_icon && !m_hasTemplateIcon) {
        return IcnsConverter::convertImagesToData({*m_icon}, m_bundleIdentifier).value();
    }
    const auto device = m_device.lock();
    return resourceData(device && isWatch(device->deviceType())
                            ? QStringLiteral("watchApplication.icns")
                            : QStringLiteral("iOSApplication.icns"));
}
