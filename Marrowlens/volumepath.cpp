#include "volumepath.h"

std::optional<VolumePath> VolumePath::below(const QString &volumeRoot, const QString &path)
{
    QString root = volumeRoot;
    while (root.size() > 1 && root.endsWith(QLatin1Char('/'))) {
        root.chop(1);
    }
    if (root.isEmpty() || !root.startsWith(QLatin1Char('/')) || !path.startsWith(root)) {
        return std::nullopt;
    }
    const QStringView rest = QStringView(path).mid(root.size());
    if (!rest.isEmpty() && !rest.startsWith(QLatin1Char('/')) && root != QLatin1String("/")) {
        return std::nullopt; // "/Volumes/MarrowbyOther" is not below "/Volumes/Marrowby"
    }
    QStringList components;
    for (QStringView name : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".") || name == QLatin1String("..")) {
            return std::nullopt;
        }
        components.append(name.toString());
    }
    return VolumePath(path, components);
}
