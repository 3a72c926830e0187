// Turns images into icns data: through an icon set and the icon tool, cached
// per name in the user's cache, or directly, by writing the icns container
// around PNG elements.
//
// Class operations only; safe to call from any thread. Conversions of one
// name are serialised within the process; each conversion works in a private
// folder and publishes its result with an atomic rename, so concurrent
// conversions (also in other processes) never see each other's half-done
// files.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"
#include "Marrowkit/icons/image.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
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

    // The icns data of the last image in every size, made by the icon tool
    // and cached as <user cache>/Marrowby/Icons/<name>.icns. A cached file
    // that is not a whole icns container (cut short, damaged, not a regular
    // file) is converted afresh. Failure when `name` is not a plain file
    // name, the cache folder cannot be used, or the tool makes no icns data.
    static Result<QByteArray> convertImagesToData(const QList<Image> &images, const QString &name);

    // An icns container holding one PNG element per image that gives one.
    // Failure only when the container would be too large for its length field.
    static Result<QByteArray> convertImagesToData(const QList<Image> &images);

    // One icns element (type, big-endian length including its 8 header bytes,
    // PNG data) and the PNG's length. Failure for an image that is not square
    // in pixels or has no PNG form.
    static Result<std::pair<QByteArray, quint32>> icnsDataForImage(const Image &image);

    // The four bytes of a four-character code, most significant first.
    static QByteArray dataForOSType(quint32 code);

    // Whether `data` is a whole icns container: "icns", a big-endian length
    // equal to the data's, and elements that each have a header and together
    // fill the container exactly.
    static bool isIcnsData(const QByteArray &data);

    // Where the icns of `name` is cached, without the ".icns" extension.
    // Failure for a name that is not a plain file name, or when the user's
    // cache folder cannot be used.
    static Result<QString> cachePath(const QString &name);
};
