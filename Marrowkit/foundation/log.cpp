// The facade over spdlog. One asynchronous logger with a daily file sink once
// enabled; a stderr sink before that. The overflow policy drops the oldest
// record rather than block a caller.
#include "Marrowkit/foundation/log.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <spdlog/async.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <mutex>

namespace {

std::atomic<int> g_minimum{static_cast<int>(LogSeverity::Info)};

struct LogState
{
    std::mutex mutex; // guards logger and observer
    std::shared_ptr<spdlog::logger> logger;
    // The writer thread of the asynchronous logger; destroying it drains
    // everything queued and joins, which is what makes disable() complete.
    std::shared_ptr<spdlog::details::thread_pool> pool;
    Log::Observer observer;
};

LogState &state()
{
    static auto *s = new LogState; // outlives every static that may log on exit
    return *s;
}

spdlog::level::level_enum toSpdlog(LogSeverity severity)
{
    switch (severity) {
    case LogSeverity::Verbose:
        return spdlog::level::trace;
    case LogSeverity::Debug:
        return spdlog::level::debug;
    case LogSeverity::Info:
        return spdlog::level::info;
    case LogSeverity::Warning:
        return spdlog::level::warn;
    case LogSeverity::Error:
        return spdlog::level::err;
    }
    return spdlog::level::info;
}

std::shared_ptr<spdlog::logger> stderrLogger()
{
    auto logger = std::make_shared<spdlog::logger>(
        "marrowby", std::make_shared<spdlog::sinks::stderr_sink_mt>());
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %^%l%$ %v");
    logger->set_level(spdlog::level::trace);
    return logger;
}

QString expandHome(const QString &path)
{
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) {
        return QDir::homePath() + path.mid(1);
    }
    return path;
}

// The daily sink prunes old files only when it rotates inside a running
// process, so a program that runs for less than a day prunes here.
void removeOldLogFiles(const QFileInfo &logFile, int daysToKeep)
{
    const QDir dir = logFile.absoluteDir();
    const QString pattern = logFile.completeBaseName() + QStringLiteral("_*.") + logFile.suffix();
    const QDateTime cutoff = QDateTime::currentDateTime().addDays(-daysToKeep);
    for (const QFileInfo &entry : dir.entryInfoList({pattern}, QDir::Files)) {
        if (entry.lastModified() < cutoff) {
            QFile::remove(entry.absoluteFilePath());
        }
    }
}

void emitRecord(LogSeverity severity, const QString &text, const char *function,
                const char *filePath, int line)
{
    if (static_cast<int>(severity) < g_minimum.load(std::memory_order_relaxed)) {
        return;
    }
    try {
        const QString file = Log::sourceFileName(filePath);
        const QString func = Log::functionName(function);
        std::shared_ptr<spdlog::logger> logger;
        Log::Observer observer;
        {
            std::lock_guard lock(state().mutex);
            if (!state().logger) {
                state().logger = stderrLogger();
            }
            logger = state().logger;
            observer = state().observer;
        }
        if (observer) {
            observer(severity, text, func, file, line);
        }
        // The call site goes into the payload: an asynchronous logger formats
        // later, after the caller's strings are gone.
        const QString record = QStringLiteral("[%1:%2] %3: %4").arg(file).arg(line).arg(func, text);
        logger->log(toSpdlog(severity), "{}", record.toStdString());
    } catch (...) {
        // Logging must never take the caller down.
    }
}

} // namespace

QString logSeverityName(LogSeverity severity)
{
    static const char *const names[] = {"verbose", "debug", "info", "warning", "error"};
    return QString::fromLatin1(names[static_cast<int>(severity)]);
}

bool Log::enable(const RotatingLogFileConfiguration &configuration)
{
    const QFileInfo logFile(expandHome(configuration.directoryPath));
    if (!QDir().mkpath(logFile.absolutePath())) {
        return false;
    }
    removeOldLogFiles(logFile, configuration.daysToKeep);
    try {
        auto pool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
        auto sink = std::make_shared<spdlog::sinks::daily_file_sink_mt>(
            logFile.absoluteFilePath().toStdString(), 0, 0, false,
            static_cast<uint16_t>(configuration.daysToKeep));
        std::shared_ptr<spdlog::logger> logger;
        if (configuration.synchronousMode) {
            logger = std::make_shared<spdlog::logger>("marrowby", sink);
        } else {
            logger = std::make_shared<spdlog::async_logger>(
                "marrowby", sink, pool, spdlog::async_overflow_policy::overrun_oldest);
        }
        logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %l %v");
        logger->set_level(spdlog::level::trace);
        logger->flush_on(spdlog::level::info);
        setMinimumSeverity(configuration.minimumSeverity);
        disable();
        std::lock_guard lock(state().mutex);
        state().logger = std::move(logger);
        state().pool = std::move(pool);
        return true;
    } catch (...) {
        return false;
    }
}

void Log::disable()
{
    std::shared_ptr<spdlog::logger> oldLogger;
    std::shared_ptr<spdlog::details::thread_pool> oldPool;
    {
        std::lock_guard lock(state().mutex);
        oldLogger = std::exchange(state().logger, nullptr);
        oldPool = std::exchange(state().pool, nullptr);
    }
    try {
        if (oldLogger) {
            oldLogger->flush();
        }
        oldLogger.reset();
        oldPool.reset(); // drains the queue and joins the writer thread
    } catch (...) {
    }
}

void Log::setMinimumSeverity(LogSeverity severity)
{
    g_minimum.store(static_cast<int>(severity), std::memory_order_relaxed);
}

LogSeverity Log::minimumSeverity()
{
    return static_cast<LogSeverity>(g_minimum.load(std::memory_order_relaxed));
}

void Log::message(LogSeverity severity, const QString &text, const char *function,
                  const char *filePath, int line)
{
    emitRecord(severity, text, function, filePath, line);
}

void Log::value(LogSeverity severity, const std::optional<QVariant> &value, const char *function,
                const char *filePath, int line)
{
    if (static_cast<int>(severity) < g_minimum.load(std::memory_order_relaxed)) {
        return;
    }
    const QString text = value ? value->toString() : QStringLiteral("nil");
    emitRecord(severity, text, function, filePath, line);
}

void Log::trace(LogSeverity severity, const char *function, const char *filePath, int line)
{
    emitRecord(severity, QString(), function, filePath, line);
}

void Log::setObserver(Observer observer)
{
    std::lock_guard lock(state().mutex);
    state().observer = std::move(observer);
}

std::optional<LogChannel> Log::channel(LogSeverity severity)
{
    if (static_cast<int>(severity) < g_minimum.load(std::memory_order_relaxed)) {
        return std::nullopt;
    }
    return LogChannel(severity);
}

QString Log::sourceFileName(const char *filePath)
{
    QString path = QString::fromUtf8(filePath ? filePath : "");
#ifdef MARROWBY_SOURCE_ROOT
    const QString root = QString::fromUtf8(MARROWBY_SOURCE_ROOT);
    if (path.startsWith(root)) {
        path = path.mid(root.size());
    }
#endif
    if (path.startsWith(QLatin1Char('/'))) {
        // Outside the source tree: keep the last folder and the file.
        const int last = path.lastIndexOf(QLatin1Char('/'));
        const int before = path.lastIndexOf(QLatin1Char('/'), last - 1);
        path = path.mid(before + 1);
    }
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > path.lastIndexOf(QLatin1Char('/'))) {
        path.truncate(dot);
    }
    return path;
}

QString Log::functionName(const char *function)
{
    QString name = QString::fromUtf8(function ? function : "");
    if (!name.isEmpty() && !name.endsWith(QLatin1Char(')'))) {
        name += QStringLiteral("()");
    }
    return name;
}

void LogChannel::message(const QString &text, const char *function, const char *filePath,
                         int line) const
{
    Log::message(m_severity, text, function, filePath, line);
}

void LogChannel::value(const std::optional<QVariant> &value, const char *function,
                       const char *filePath, int line) const
{
    Log::value(m_severity, value, function, filePath, line);
}

void LogChannel::trace(const char *function, const char *filePath, int line) const
{
    Log::trace(m_severity, function, filePath, line);
}
