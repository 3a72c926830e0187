// The app's icon: found among the bundle's icon files for the device's kind,
// drawn clipped in the device's style when first needed, and converted to
// icns.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/icons/assetcatalog.h"
#include "Marrowkit/icons/icnsconverter.h"
#include "Marrowkit/model/infodictionarykey.h"
#include "Marrowkit/model/simulatordevice.h"
#include "model/simulatorappvalues_p.h"

#include <QFile>
#include <QSet>

using namespace SimulatorAppValues;

namespace {

std::optional<QByteArray> resourceData(const QString &name)
{
    QFile file(QStringLiteral(":/Marrowkit/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace

std::optional<Image> SimulatorApp::generateIcon()
{
    const auto device = m_device.lock();
    if (!device || *device == *NullDevice()) {
        return std::nullopt;
    }
    const DeviceType type = device->deviceType();

    std::optional<QVariantMap> icons;
    if (isPad(type)) {
        icons = dictionary(m_info, InfoDictionaryKey::BundleIconsIPad);
    }
    if (!icons) {
        icons = dictionary(m_info, InfoDictionaryKey::BundleIcons);
    }

    // Only which file to draw is worked out here; the drawing waits until the
    // icon is first needed (see AppIconSource).
    std::optional<AppIconSource> source;
    if (icons) {
        const QVariant primary = icons->value(InfoDictionaryKey::BundlePrimaryIcon);
        const auto primaryIcon = dictionary(*icons, InfoDictionaryKey::BundlePrimaryIcon);
        const auto files = primaryIcon
                               ? texts(primaryIcon->value(InfoDictionaryKey::BundleIconFiles))
                               : std::nullopt;
        if (files) {
            if (m_bundleURL) {
                source = AppIconSource::bestBundleFile(m_bundleURL->toLocalFile(), *files, type);
            }
        } else if (primary.typeId() == QMetaType::QString && isTV(type) && m_bundleURL) {
            // Only a 400 x 240 image of that name serves (a TV app icon).
            if (auto image = imageNamedFromAssetCatalog(
                    primary.toString(), appending(*m_bundleURL, QStringLiteral("Assets.car")))) {
                source = AppIconSource::fromPicture(Image::fromBitmap(*image), type);
            }
        }
    }
    if (!source) {
        source = AppIconSource::templateFor(type);
        m_hasTemplateIcon = true;
    }
    m_iconSource = source;
    return source->icon();
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
        // The drawn icon keeps only 57 pixels; icns sizes go up to 1024, so
        // they are drawn from the icon file itself where it is known.
        const Image icon = m_iconSource ? m_iconSource->drawing() : *m_icon;
        return IcnsConverter::convertImagesToData({icon}, m_bundleIdentifier).value();
    }
    const auto device = m_device.lock();
    return resourceData(device && isWatch(device->deviceType())
                            ? QStringLiteral("watchApplication.icns")
                            : QStringLiteral("iOSApplication.icns"));
}
