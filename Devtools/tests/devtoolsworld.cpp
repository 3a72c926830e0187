#include "devtoolsworld.h"

#include "plistio.h"
#include "tests/support/testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace devtoolsworld {

QString toolPath(const QString &tool)
{
    return testsupport::devtoolsBinPath() + QLatin1Char('/') + tool;
}

ToolRun run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(toolPath(tool), arguments);
    ToolRun result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("did not finish");
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QMap<QString, QString> snapshot(const QString &root)
{
    QMap<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QString description;
        if (info.isSymLink()) {
            description = QStringLiteral("link ") + info.symLinkTarget();
        } else if (info.isDir()) {
            description = QStringLiteral("folder");
        } else {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            description =
                QStringLiteral("file %1 %2")
                    .arg(info.size())
                    .arg(QString::fromLatin1(
                        QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex()));
        }
        entries.insert(QDir(root).relativeFilePath(path), description);
    }
    return entries;
}

QStringList differences(const QMap<QString, QString> &before, const QMap<QString, QString> &after)
{
    QStringList changes;
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        if (after.value(it.key()) != it.value()) {
            changes.append(QStringLiteral("- ") + it.key());
        }
    }
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        if (before.value(it.key()) != it.value()) {
            changes.append(QStringLiteral("+ ") + it.key());
        }
    }
    return changes;
}

QString deviceSetPath()
{
    return QDir::homePath() + QStringLiteral("/Library/Developer/CoreSimulator/Devices");
}

QString devicePath(const QString &udid)
{
    return deviceSetPath() + QLatin1Char('/') + udid;
}

int deviceState(const QString &udid)
{
    const auto plist = PlistIO::readDictionary(devicePath(udid) + QStringLiteral("/device.plist"),
                                               PlistIO::recordSizeLimit);
    return plist ? plist->value(QStringLiteral("state"), -1).toInt() : -1;
}

QString systemLog(const QString &udid)
{
    QFile file(QDir::homePath() + QStringLiteral("/Library/Logs/CoreSimulator/") + udid +
               QStringLiteral("/system.log"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

QList<ListedDevice> listedDevices()
{
    const ToolRun listing =
        run(QStringLiteral("xcrun"),
            {QStringLiteral("simctl"), QStringLiteral("list"), QStringLiteral("-j")});
    const QJsonObject groups = QJsonDocument::fromJson(listing.out.toUtf8())
                                   .object()
                                   .value(QStringLiteral("devices"))
                                   .toObject();
    QList<ListedDevice> devices;
    for (auto group = groups.constBegin(); group != groups.constEnd(); ++group) {
        for (const auto &value : group.value().toArray()) {
            const QJsonObject device = value.toObject();
            devices.append({device.value(QStringLiteral("udid")).toString(),
                            device.value(QStringLiteral("name")).toString(),
                            device.value(QStringLiteral("state")).toString(), group.key(),
                            device.value(QStringLiteral("availability")).toString() ==
                                QLatin1String("(available)")});
        }
    }
    return devices;
}

std::optional<ListedDevice> firstDevice(const QString &name, const QString &group,
                                        const QString &state)
{
    for (const ListedDevice &device : listedDevices()) {
        if (device.name == name && device.group == group &&
            (state.isEmpty() || device.state == state)) {
            return device;
        }
    }
    return std::nullopt;
}

QString writeApp(const QString &folder, const QString &name, const QString &identifier,
                 const QString &version, const QStringList &groups)
{
    QString app = folder + QLatin1Char('/') + name + QStringLiteral(".app");
    QDir().mkpath(app);
    PlistIO::writeXml(app + QStringLiteral("/Info.plist"),
                      QVariantMap{{QStringLiteral("CFBundleIdentifier"), identifier},
                                  {QStringLiteral("CFBundleName"), name},
                                  {QStringLiteral("CFBundleShortVersionString"), version},
                                  {QStringLiteral("CFBundleVersion"), version}});
    testsupport::writeFile(app + QLatin1Char('/') + name, QByteArrayLiteral("#!/bin/sh\n"));
    if (!groups.isEmpty()) {
        PlistIO::writeXml(
            app + QStringLiteral("/archived-expanded-entitlements.xcent"),
            QVariantMap{{QStringLiteral("com.apple.security.application-groups"), groups}});
    }
    return app;
}

} // namespace devtoolsworld
