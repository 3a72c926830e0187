#include "Marrowkit/icons/assetcatalog.h"

std::optional<QImage> imageNamedFromAssetCatalog(const QString & /*name*/,
                                                 const QUrl & /*catalogURL*/)
{
    return std::nullopt;
}
