// The file-manager extension's switch in the plug-in registry, through the
// developer tools' pluginkit: whether the extension is elected for use, and
// electing it or not. Unlike the one-time switch at start-up, the answer is
// examined: the preferences must show what the registry holds.
//
// Threads: main thread; each call runs pluginkit and waits for it (at most
// `timeout`, then it is killed and the call fails).
#pragma once

#include "Marrowkit/foundation/result.h"

#include <QString>

#include <chrono>

class PluginRegistry
{
public:
    explicit PluginRegistry(QString identifier,
                            std::chrono::milliseconds timeout = std::chrono::seconds(30));

    const QString &identifier() const { return m_identifier; }
    // `pluginkit -m -A -i <id>`: enabled exactly when its answer begins
    // with "+"; a failure when pluginkit cannot be run or fails.
    Result<bool> isEnabled() const;
    // `pluginkit -e use|ignore -i <id>`; a failure says what pluginkit said.
    Result<Unit> setEnabled(bool enabled) const;

private:
    struct Run
    {
        bool ran = false;
        int status = -1;
        QString out;
        QString err;
    };
    Run run(const QStringList &arguments) const;

    QString m_identifier;
    std::chrono::milliseconds m_timeout;
};
