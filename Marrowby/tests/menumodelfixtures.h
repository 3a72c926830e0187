// Devices and apps made in memory for the menu's rules: names, versions,
// creation dates, states and app groups as a test needs them.
#pragma once

#include "Marrowkit/devtools/xcodeversion.h"
#include "Marrowkit/model/infodictionarykey.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QDateTime>

namespace fixtures {

inline SimulatorAppPtr app(const QString &name, int createdDay = 1, const QStringList &groups = {})
{
    auto made = std::make_shared<SimulatorApp>(QStringLiteral("app-") + name, name,
                                               QStringLiteral("1.0 (7)"));
    made->setBundleIdentifier(QStringLiteral("com.example.") + name);
    made->setCreationDate(QDateTime(QDate(2016, 9, createdDay), QTime(12, 0), Qt::UTC));
    if (!groups.isEmpty()) {
        QVariantMap info = made->info();
        info.insert(QString(InfoDictionaryKey::AppGroups), groups);
        made->setInfo(info);
    }
    return made;
}

inline SimulatorDevicePtr device(const QString &name, const QList<SimulatorAppPtr> &apps,
                                 bool booted = false)
{
    auto made =
        SimulatorDevice::create(QStringLiteral("dev-") + name, name, apps, QStringLiteral("10.0"),
                                QStringLiteral("iPhone"), booted ? 3 : 1);
    made->setDisplayName(name);
    return made;
}

inline XcodeVersion xcode(const char *version, bool selected)
{
    const QString text = QString::fromLatin1(version);
    return XcodeVersion(
        QUrl::fromLocalFile(QStringLiteral("/Applications/Xcode-") + text + QStringLiteral(".app")),
        text, selected);
}

} // namespace fixtures
