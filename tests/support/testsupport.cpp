#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace testsupport {

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

namespace {
void restoreEnv(const char *name, const QByteArray &value)
{
    if (value.isNull()) {
        qunsetenv(name);
    } else {
        qputenv(name, value);
    }
}
} // namespace

TemporaryHome::TemporaryHome()
    : m_oldHome(qgetenv("HOME")), m_oldDataHome(qgetenv("XDG_DATA_HOME")),
      m_oldConfigHome(qgetenv("XDG_CONFIG_HOME")), m_oldCacheHome(qgetenv("XDG_CACHE_HOME"))
{
    if (!qEnvironmentVariableIsSet("XDG_DATA_HOME")) {
        m_oldDataHome = QByteArray();
    }
    if (!qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
        m_oldConfigHome = QByteArray();
    }
    if (!qEnvironmentVariableIsSet("XDG_CACHE_HOME")) {
        m_oldCacheHome = QByteArray();
    }
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/.local/share")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/.config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/.cache")));
    // Qt's trash needs the data folder to exist, or it trashes into "./files".
    QDir().mkpath(m_dir.path() + QStringLiteral("/.local/share"));
}

TemporaryHome::~TemporaryHome()
{
    restoreEnv("HOME", m_oldHome);
    restoreEnv("XDG_DATA_HOME", m_oldDataHome);
    restoreEnv("XDG_CONFIG_HOME", m_oldConfigHome);
    restoreEnv("XDG_CACHE_HOME", m_oldCacheHome);
}

QString TemporaryHome::filePath(const QString &relative) const
{
    return m_dir.path() + QLatin1Char('/') + relative;
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return file.write(contents) == contents.size();
}

QString bundlePath()
{
    return QStringLiteral(MARROWBY_TEST_BUNDLE_DIR);
}

QString devtoolsBinPath()
{
    return bundlePath() + QStringLiteral("/Contents/SharedSupport/bin");
}

bool isMountPoint(const QString &path)
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray wanted = QFile::encodeName(path);
    // A mount table of megabytes would be absurd; the limit keeps a test from
    // stalling on one.
    for (const QByteArray &line : mounts.read(qint64(4) << 20).split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields.at(4) == wanted) {
            return true;
        }
    }
    return false;
}

} // namespace testsupport
