// A set of images by size name ("16x16", "32x32", ...) that is written as an
// icon set folder of PNG files and turned into an icns file by the icon tool
// (the developer-tools stand-in's "iconutil").
//
// Used on one thread at a time. Icon sets are built in fresh private
// folders inside the user's cache, never at a predictable name in the
// shared temporary folder, and removed without following links.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"
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

    // Writes the set as <scratch folder>/<url's file name>.iconset, where the
    // scratch folder is a fresh private folder in the user's icon cache, and
    // converts it into <url>.icns. The scratch folder is removed afterwards.
    [[nodiscard]] Result<Unit> saveIcnsToURL(const std::optional<QUrl> &url) const;
    // Writes one "icon_<size name>.png" per image into the folder `url`
    // (made with its parents); images without a PNG form are skipped.
    [[nodiscard]] Result<Unit> writeIconsetToURL(const std::optional<QUrl> &url) const;
    // Runs the icon tool on `input`, writing <output>.icns, then removes the
    // input folder (never following a link). Failure when the tool is
    // missing, cannot be run, does not finish or reports failure; the input
    // folder is removed in every case.
    [[nodiscard]] static Result<Unit> runIconUtilWithInput(const std::optional<QUrl> &input,
                                                           const std::optional<QUrl> &output);

    // The user cache folder that scratch folders of icon work go into.
    static QString cacheName() { return QStringLiteral("Icons"); }

private:
    QMap<QString, Image> m_images;
};
