// The facade over spdlog. One logger per library, all writing to one sink: a
// daily file once enabled (through one writer thread, so lines of different
// libraries keep their order), standard error before that. The overflow
// policy drops the oldest record rather than block a caller.
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
#include <string>
#include <unordered_map>

namespace {

std::atomic<int> g_minimum{static_cast<int>(LogSeverity::Info)};

struct LogState
{
    std::mutex mutex; // guards everything below
    // Where every logger writes; standard error until enable() says otherwise.
    spdlog::sink_ptr sink;
    // The writer thread of the asynchronous loggers; absent when they write
    // synchronously. Destroying it drains everything queued and joins, which
    // is what makes disable() complete.
    std::shared_ptr<spdlog::details::thread_pool> pool;
    // One logger per library, made on its first record.
    std::unordered_map<std::string, std::shared_ptr<spdlog::logger>> loggers;
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

// The logger of `name` on the current sink. Called with the state's mutex held.
std::shared_ptr<spdlog::logger> loggerNamed(LogState &s, const char *name)
{
    const std::string key = name && *name ? name : "marrowby";
    std::shared_ptr<spdlog::logger> &logger = s.loggers[key];
    if (logger) {
        return logger;
    }
    if (!s.sink) {
        s.sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
        s.sink->set_pattern("%Y-%m-%d %H:%M:%S.%e %^%l%$ [%n] %v");
    }
    if (s.pool) {
        logger = std::make_shared<spdlog::async_logger>(
            key, s.sink, s.pool, spdlog::async_overflow_policy::overrun_oldest);
    } else {
        logger = std::make_shared<spdlog::logger>(key, s.sink);
    }
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::info);
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
                const char *filePath, int line, const char *loggerName)
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
            logger = loggerNamed(state(), loggerName);
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
        std::shared_ptr<spdlog::details::thread_pool> pool;
        if (!configuration.synchronousMode) {
            pool = std::make_shared<spdlog::details::thread_pool>(8192, 1);
        }
        spdlog::sink_ptr sink = std::make_shared<spdlog::sinks::daily_file_sink_mt>(
            logFile.absoluteFilePath().toStdString(), 0, 0, false,
            static_cast<uint16_t>(configuration.daysToKeep));
        sink->set_pattern("%Y-%m-%d %H:%M:%S.%e %l [%n] %v");
        setMinimumSeverity(configuration.minimumSeverity);
        disable();
        std::lock_guard lock(state().mutex);
        state().sink = std::move(sink);
        state().pool = std::move(pool);
        return true;
    } catch (...) {
        return false;
    }
}

void Log::disable()
{
    std::unordered_map<std::string, std::shared_ptr<spdlog::logger>> oldLoggers;
    std::shared_ptr<spdlog::details::thread_pool> oldPool;
    {
        std::lock_guard lock(state().mutex);
        oldLoggers = std::exchange(state().loggers, {});
        oldPool = std::exchange(state().pool, nullptr);
        state().sink = nullptr;
    }
    try {
        for (const auto &[name, logger] : oldLoggers) {
            logger->flush();
        }
        oldLoggers.clear();
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
                  const char *filePath, int line, const char *logger)
{
    emitRecord(severity, text, function, filePath, line, logger);
}

void Log::value(LogSeverity severity, const std::optional<QVariant> &value, const char *function,
                const char *filePath, int line, const char *logger)
{
    if (static_cast<int>(severity) < g_minimum.load(std::memory_order_relaxed)) {
        return;
    }
    const QString text = value ? value->toString() : QStringLiteral("nil");
    emitRecord(severity, text, function, filePath, line, logger);
}

void Log::trace(LogSeverity severity, const char *function, const char *filePath, int line,
                const char *logger)
{
    emitRecord(severity, QString(), function, filePath, line, logger);
}

void Log::setObserver(Observer observer)
{
    std::lock_guard lock(state().mutex);
    state().observer = std::move(observer);
}

namespace {

std::optional<LogChannel> channel(LogSeverity severity, const char *logger)
{
    if (static_cast<int>(severity) < g_minimum.load(std::memory_order_relaxed)) {
        return std::nullopt;
    }
    return LogChannel(severity, logger);
}

} // namespace

std::optional<LogChannel> Log::verbose(const char *logger)
{
    return channel(LogSeverity::Verbose, logger);
}

std::optional<LogChannel> Log::debug(const char *logger)
{
    return channel(LogSeverity::Debug, logger);
}

std::optional<LogChannel> Log::info(const char *logger)
{
    return channel(LogSeverity::Info, logger);
}

std::optional<LogChannel> Log::warning(const char *logger)
{
    return channel(LogSeverity::Warning, logger);
}

std::optional<LogChannel> Log::error(const char *logger)
{
    return channel(LogSeverity::Error, logger);
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
    Log::message(m_severity, text, function, filePath, line, m_logger);
}

void LogChannel::value(const std::optional<QVariant> &value, const char *function,
                       const char *filePath, int line) const
{
    Log::value(m_severity, value, function, filePath, line, m_logger);
}

void LogChannel::trace(const char *function, const char *filePath, int line) const
{
    Log::trace(m_severity, function, filePath, line, m_logger);
}
