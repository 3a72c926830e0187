// What an app's icon is drawn from, worked out while scanning without
// decoding a picture: the one bundle icon file that best fits the device
// kind (chosen by the pixel sizes the files' headers state), else the
// library's template picture for the kind. The icon itself is drawn later,
// once, at the size it is shown (28.5 points at two pixels per point),
// clipped in the device's style, and kept as PNG bytes through the
// rendered-icon cache.
//
// A value type, immutable once made: copies may be read from any thread.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/icons/image.h"
#include "Marrowkit/model/devicetype.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

class MARROWKIT_EXPORT AppIconSource
{
public:
    // The file among `names` (each tried with the suffixes "", "@2x", "@3x",
    // "@2x~ipad", "~ipad" and ".png") in `bundle` whose pixels best cover
    // the kind's icon: the smallest that covers it, else the largest. Only
    // regular files inside the bundle whose header reads count; nothing when
    // none does.
    static std::optional<AppIconSource> bestBundleFile(const QString &bundle,
                                                       const QStringList &names, DeviceType type);
    // The library's template picture for the kind.
    static AppIconSource templateFor(DeviceType type);
    // A picture already in hand (an asset catalog's), drawn as it is.
    static AppIconSource fromPicture(const Image &picture, DeviceType type);

    bool isTemplate() const { return m_kind == Kind::Template; }
    // The chosen file; empty for a template or a picture.
    const QString &filePath() const { return m_path; }
    DeviceType deviceType() const { return m_type; }

    // The icon's canvas in points and in pixels as drawn.
    QSizeF canvas() const;
    QSize pixels() const;

    // Everything that decides the drawn picture, as the cache's key; empty
    // for a picture in hand (drawn every time, never cached).
    QByteArray cacheKey() const;

    // The icon as an image that draws itself on first use, through the
    // shared rendered-icon cache, and then holds only the PNG.
    Image icon() const;
    // The icon in vector form: drawn from the source picture at whatever
    // size it is drawn (for icns sizes up to 1024 pixels). Decodes the file.
    Image drawing() const;
    // The PNG of the icon at pixels(); empty when nothing could be drawn.
    QByteArray renderPng() const;

private:
    enum class Kind { File, Template, Picture };

    AppIconSource(Kind kind, DeviceType type) : m_kind(kind), m_type(type) {}
    // The picture to draw: the file's best frame, the template's, or the one
    // in hand. A file that no longer decodes draws the template.
    std::optional<Image> picture() const;

    Kind m_kind;
    DeviceType m_type;
    QString m_path;         // File: the icon file; Template: the artwork's name
    qint64 m_fileSize = -1; // File: the identity the picture was chosen by
    qint64 m_modifiedNs = 0;
    std::optional<Image> m_picture; // Picture
};
