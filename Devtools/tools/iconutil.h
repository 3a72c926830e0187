// `iconutil -c icns [-o OUT.icns] IN.iconset`: packs the icon set's PNG files
// ("icon_<W>x<H>.png" and "icon_<W>x<H>@2x.png") into an icns container. Each
// PNG must really have the pixel size its name states; a bad entry fails the
// whole conversion and no file is written.
#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace IconUtil {

int run(const QStringList &arguments);
// The container for an icon-set folder, or nothing with a reason.
std::optional<QByteArray> convert(const QString &iconset, QString *error);

} // namespace IconUtil
