// A set of images by size name ("16x16", "32x32", ...) that is written as an
// icon set folder of PNG files and turned into an icns file by the icon tool
// (the developer-tools stand-in's "iconutil").
//
// Used on one thread at a time. Operations that can fail return the error,
// or nothing on success.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/icons/iconseterror.h"
#include "Marrowkit/icons/image.h"

#include <QMap>
#include <QString>
#include <QUrl>

#include <optional>

class MARROWKIT_EXPORT Iconset
{
public:
    Iconset() = default;

    QMap<QString, Image> images() const { return m_images; }
    // Stores `image` under `sizeName`, replacing an earlier one.
    void addImage(const Image &image, const QString &sizeName);

    // Writes the set as <temporary folder>/<url's file name>.iconset and
    // converts it into <url>.icns.
    [[nodiscard]] std::optional<Error> saveIcnsToURL(const std::optional<QUrl> &url) const;
    // Writes one "icon_<size name>.png" per image into the folder `url`
    // (made with its parents); images without a PNG form are skipped.
    [[nodiscard]] std::optional<Error> writeIconsetToURL(const std::optional<QUrl> &url) const;
    // Runs the icon tool on `input`, writing <output>.icns, then removes the
    // input folder. The tool's exit status is not examined: a failed
    // conversion shows only as a missing icns file.
    [[nodiscard]] static std::optional<Error>
    runIconUtilWithInput(const std::optional<QUrl> &input, const std::optional<QUrl> &output);

private:
    QMap<QString, Image> m_images;
};
