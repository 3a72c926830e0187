#include "mdfind.h"

#include "console.h"
#include "paths.h"
#include "plistio.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr int maximumDepth = 4;

void search(const QString &folder, const QRegularExpression &identifier, int depth,
            QStringList &found)
{
    const QDir dir(folder);
    const auto entries =
        dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName().endsWith(QLatin1String(".app"))) {
            const auto info =
                PlistIO::readDictionary(entry.filePath() + QStringLiteral("/Contents/Info.plist"),
                                        PlistIO::bundleSizeLimit);
            if (info &&
                identifier.match(info->value(QStringLiteral("CFBundleIdentifier")).toString())
                    .hasMatch()) {
                found.append(QDir::cleanPath(entry.filePath()));
            }
        } else if (depth < maximumDepth) {
            search(entry.filePath(), identifier, depth + 1, found);
        }
    }
}

} // namespace

namespace Mdfind {

QStringList searchRoots()
{
    return {QStringLiteral("/Applications"), DevtoolsPaths::userApplicationsPath()};
}

QStringList applicationsWithIdentifier(const QString &pattern, const QStringList &roots)
{
    // Anchored: the whole identifier must match.
    const QRegularExpression identifier(QRegularExpression::wildcardToRegularExpression(pattern));
    QStringList found;
    for (const QString &root : roots) {
        search(root, identifier, 0, found);
    }
    return found;
}

int run(const QStringList &arguments)
{
    static const QRegularExpression query(
        QStringLiteral("^\\s*kMDItemCFBundleIdentifier\\s*==\\s*(['\"])([^'\"]*)\\1\\s*$"));
    const auto match =
        arguments.size() == 1 ? query.match(arguments.first()) : QRegularExpressionMatch();
    if (!match.hasMatch()) {
        return Console::fail(QStringLiteral(
            "mdfind: only the query \"kMDItemCFBundleIdentifier == '<identifier>'\" is supported"));
    }
    for (const QString &path : applicationsWithIdentifier(match.captured(2), searchRoots())) {
        Console::out(path);
    }
    return 0;
}

} // namespace Mdfind
