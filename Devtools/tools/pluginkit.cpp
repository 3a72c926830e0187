#include "pluginkit.h"

#include "console.h"
#include "paths.h"
#include "plistio.h"

#include <QDir>
#include <QFileInfo>

namespace {

int usage()
{
    return Console::fail(QStringLiteral("usage: pluginkit -e use|ignore -i identifier\n"
                                        "       pluginkit -m [-A] [-v] -i identifier"));
}

bool validIdentifier(const QString &identifier)
{
    return !identifier.isEmpty() && identifier.size() <= 255 &&
           !identifier.contains(QLatin1Char('\n'));
}

} // namespace

namespace Pluginkit {

int run(const QStringList &arguments)
{
    QString election;
    QString identifier;
    bool match = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if ((argument == QLatin1String("-e") || argument == QLatin1String("-i")) &&
            i + 1 < arguments.size()) {
            (argument == QLatin1String("-e") ? election : identifier) = arguments.at(++i);
        } else if (argument == QLatin1String("-m")) {
            match = true;
        } else if (argument != QLatin1String("-A") && argument != QLatin1String("-v")) {
            return usage();
        }
    }
    if (!validIdentifier(identifier) || match == !election.isEmpty()) {
        return usage();
    }
    const QString registry = DevtoolsPaths::pluginRegistryPath();
    QString error;
    QVariantMap elections;
    if (QFileInfo::exists(registry)) {
        const auto read = PlistIO::readDictionary(registry, PlistIO::bundleSizeLimit, &error);
        if (!read) {
            return Console::fail(
                QStringLiteral("pluginkit: cannot read %1: %2").arg(registry, error));
        }
        elections = *read;
    }
    if (match) {
        const bool used = elections.value(identifier).toString() == QLatin1String("use");
        Console::out((used ? QStringLiteral("+    ") : QStringLiteral("-    ")) + identifier);
        return 0;
    }
    if (election != QLatin1String("use") && election != QLatin1String("ignore")) {
        return usage();
    }
    elections.insert(identifier, election);
    QDir().mkpath(QFileInfo(registry).absolutePath());
    if (!PlistIO::writeXml(registry, elections, &error)) {
        return Console::fail(QStringLiteral("pluginkit: cannot write %1: %2").arg(registry, error));
    }
    return 0;
}

} // namespace Pluginkit
