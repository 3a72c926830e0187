#include "pluginregistry.h"

#include "Marrowkit/platform/bundle.h"

#include <QProcess>

namespace {

Error registryError(const QString &text)
{
    Error error;
    error.domain = QStringLiteral("dev.marrowby.marrowby.PluginRegistry");
    error.code = 1;
    error.userInfo.insert(Error::localizedDescriptionKey(), text);
    return error;
}

// What a failed run said, for the user: its own message, else its status.
QString reasonOf(const QString &err, int status)
{
    const QString said = err.trimmed();
    if (!said.isEmpty()) {
        return said.left(500);
    }
    return QStringLiteral("pluginkit ended with status %1").arg(status);
}

} // namespace

PluginRegistry::PluginRegistry(QString identifier, std::chrono::milliseconds timeout)
    : m_identifier(std::move(identifier)), m_timeout(timeout)
{}

PluginRegistry::Run PluginRegistry::run(const QStringList &arguments) const
{
    Run result;
    QProcess process;
    process.start(developerToolPath(QStringLiteral("pluginkit")), arguments);
    if (!process.waitForStarted(int(m_timeout.count()))) {
        result.err = process.errorString();
        return result;
    }
    if (!process.waitForFinished(int(m_timeout.count()))) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("pluginkit did not answer");
        return result;
    }
    result.ran = process.exitStatus() == QProcess::NormalExit;
    result.status = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    if (!result.ran) {
        result.err = QStringLiteral("pluginkit crashed");
    }
    return result;
}

Result<bool> PluginRegistry::isEnabled() const
{
    const Run listed =
        run({QStringLiteral("-m"), QStringLiteral("-A"), QStringLiteral("-i"), m_identifier});
    if (!listed.ran || listed.status != 0) {
        return Result<bool>::failure(
            registryError(QStringLiteral("The file-manager extension's state cannot be read: %1")
                              .arg(reasonOf(listed.err, listed.status))));
    }
    return Result<bool>::success(listed.out.trimmed().startsWith(QLatin1Char('+')));
}

Result<Unit> PluginRegistry::setEnabled(bool enabled) const
{
    const Run elected =
        run({QStringLiteral("-e"), enabled ? QStringLiteral("use") : QStringLiteral("ignore"),
             QStringLiteral("-i"), m_identifier});
    if (!elected.ran || elected.status != 0) {
        return Result<Unit>::failure(
            registryError(QStringLiteral("The file-manager extension cannot be switched %1: %2")
                              .arg(enabled ? QStringLiteral("on") : QStringLiteral("off"),
                                   reasonOf(elected.err, elected.status))));
    }
    return Result<Unit>::success(Unit());
}
