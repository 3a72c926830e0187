// Turns images into icns data: through an icon set folder and the icon tool
// (cached per name under the temporary folder in "Marrowby/"), or directly,
// by writing the icns container around PNG elements.
//
// Class operations only; no state besides the cache files. Two conversions of
// the same name at the same time share one folder and cache file, so callers
// convert one app at a time.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/icons/image.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

// The 32-bit code of a four-character text: its bytes folded in from the
// left, so the first character ends up in the most significant byte.
constexpr quint32 uint32FromFourCharString(std::string_view text)
{
    quint32 value = 0;
    for (char c : text) {
        value = value * 256 + quint32(static_cast<unsigned char>(c));
    }
    return value;
}

class MARROWKIT_EXPORT IcnsConverter
{
public:
    IcnsConverter() = delete;

    // Point sizes of the icon set; each also gets a double-size entry.
    static const QList<int> &possibleSizes();

    // The icns data of the last image in every size, made by the icon tool and
    // cached as <temporary folder>/Marrowby/<name>.icns. Empty data when the
    // tool is missing or fails, or when `name` is not a plain file name.
    static QByteArray convertImagesToData(const QList<Image> &images, const QString &name);

    // An icns container holding one PNG element per image that gives one.
    static QByteArray convertImagesToData(const QList<Image> &images);

    // One icns element (type, big-endian length including its 8 header bytes,
    // PNG data) and the PNG's length. Nothing for an image that is not square
    // in pixels or has no PNG form.
    static std::optional<std::pair<QByteArray, quint32>> icnsDataForImage(const Image &image);

    // The four bytes of a four-character code, most significant first.
    static QByteArray dataForOSType(quint32 code);

    // Where the icns of `name` is cached; nothing for a name that is not a
    // plain file name.
    static std::optional<QString> cachePath(const QString &name);
};
