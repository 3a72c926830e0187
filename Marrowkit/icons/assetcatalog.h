// Images from compiled asset catalogs (Assets.car). The format is private to
// the platform vendor's tools and has no reader here, so no catalog yields
// an image: callers fall back as they do for a catalog without the image
// (apps then get the template icon).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <optional>

// Always nothing on this platform (see above).
MARROWKIT_EXPORT std::optional<QImage> imageNamedFromAssetCatalog(const QString &name,
                                                                  const QUrl &catalogURL);
