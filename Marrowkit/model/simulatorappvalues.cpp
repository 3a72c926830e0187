#include "model/simulatorappvalues_p.h"

#include <QFile>
#include <QFileInfo>

#include <dirent.h>

namespace SimulatorAppValues {

std::optional<QString> text(const QVariantMap &map, QLatin1String key)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd() || it->typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return it->toString();
}

std::optional<QVariantMap> dictionary(const QVariantMap &map, QLatin1String key)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd() || it->typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return it->toMap();
}

std::optional<QStringList> texts(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList();
    }
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    QStringList list;
    for (const QVariant &item : value.toList()) {
        if (item.typeId() != QMetaType::QString) {
            return std::nullopt;
        }
        list.append(item.toString());
    }
    return list;
}

std::optional<QUrl> fileURL(const QVariantMap &map, QLatin1String key)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd() || it->typeId() != QMetaType::QUrl || !it->toUrl().isLocalFile()) {
        return std::nullopt;
    }
    return it->toUrl();
}

QUrl upwards(const QUrl &url, int count)
{
    QString path = url.toLocalFile();
    for (int i = 0; i < count; ++i) {
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
            path.chop(1);
        }
        path = QFileInfo(path).path();
    }
    return QUrl::fromLocalFile(path);
}

QString lastPathComponent(const QUrl &url)
{
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return QFileInfo(path).fileName();
}

QUrl appending(const QUrl &folder, const QString &component)
{
    QString path = folder.toLocalFile();
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return QUrl::fromLocalFile(path + component);
}

QSet<QString> fileNamesIn(const QString &folder)
{
    QSet<QString> names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return names;
    }
    while (const dirent *entry = readdir(dir)) {
        names.insert(QFile::decodeName(entry->d_name));
    }
    closedir(dir);
    return names;
}

bool staysInside(const QString &relative)
{
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/'))) {
        return false;
    }
    const QStringList parts = relative.split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral("..")) && !relative.contains(QChar(0));
}

} // namespace SimulatorAppValues
