// The logging facade every program of the system logs through. Records carry a
// severity, the message, the calling function, the source file (as
// "Deliverable/file", without folders above it and without extension) and the
// line. Logging never throws and never waits for the disk: records go through
// a bounded asynchronous queue to the sinks.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

enum class LogSeverity { Verbose = 0, Debug, Info, Warning, Error };

MARROWKIT_EXPORT QString logSeverityName(LogSeverity severity);

struct MARROWKIT_EXPORT RotatingLogFileConfiguration
{
    LogSeverity minimumSeverity = LogSeverity::Info;
    int daysToKeep = 7;
    // A log file path such as "~/Library/Logs/Marrowby/Parley.log"; "~" is the
    // home folder. Each day gets its own file next to it.
    QString directoryPath;
    bool synchronousMode = false;
};

// One channel of a fixed severity, present only when that severity is logged.
class MARROWKIT_EXPORT LogChannel
{
public:
    explicit LogChannel(LogSeverity severity) : m_severity(severity) {}
    void message(const QString &text, const char *function, const char *filePath, int line) const;
    void value(const std::optional<QVariant> &value, const char *function, const char *filePath,
               int line) const;
    void trace(const char *function, const char *filePath, int line) const;
    LogSeverity severity() const { return m_severity; }

private:
    LogSeverity m_severity;
};

class MARROWKIT_EXPORT Log
{
public:
    // Starts writing to a daily rotating file; removes files older than the
    // days to keep. Until it is called, records at the minimum and above go to
    // standard error. Returns false when the folder cannot be made.
    static bool enable(const RotatingLogFileConfiguration &configuration);
    // Stops file logging and flushes what is pending (tests, shutdown).
    static void disable();

    static void setMinimumSeverity(LogSeverity severity);
    static LogSeverity minimumSeverity();

    static void message(LogSeverity severity, const QString &text, const char *function,
                        const char *filePath, int line);
    static void value(LogSeverity severity, const std::optional<QVariant> &value,
                      const char *function, const char *filePath, int line);
    static void trace(LogSeverity severity, const char *function, const char *filePath, int line);

    static std::optional<LogChannel> verbose() { return channel(LogSeverity::Verbose); }
    static std::optional<LogChannel> debug() { return channel(LogSeverity::Debug); }
    static std::optional<LogChannel> info() { return channel(LogSeverity::Info); }
    static std::optional<LogChannel> warning() { return channel(LogSeverity::Warning); }
    static std::optional<LogChannel> error() { return channel(LogSeverity::Error); }

    // "Marrowkit/fileobserver" for ".../Marrowkit/fileobserver.cpp".
    static QString sourceFileName(const char *filePath);
    // "startMonitoring()" for "startMonitoring".
    static QString functionName(const char *function);

    // Every record passes through here before the sinks; for tests.
    using Observer = std::function<void(LogSeverity, const QString &message,
                                        const QString &function, const QString &file, int line)>;
    static void setObserver(Observer observer);

private:
    static std::optional<LogChannel> channel(LogSeverity severity);
};

// Call-site macros: capture the function, file and line where they are used.
// A file may name its own source (as "Marrowkit/FileObserver") by defining
// MARROWBY_LOG_SOURCE before any include.
#ifndef MARROWBY_LOG_SOURCE
#define MARROWBY_LOG_SOURCE __FILE__
#endif

#define MLOG(severity, text)                                                                       \
    ::Log::message(::LogSeverity::severity, (text), __func__, MARROWBY_LOG_SOURCE, __LINE__)
#define MLOG_VERBOSE(text) MLOG(Verbose, text)
#define MLOG_DEBUG(text) MLOG(Debug, text)
#define MLOG_INFO(text) MLOG(Info, text)
#define MLOG_WARNING(text) MLOG(Warning, text)
#define MLOG_ERROR(text) MLOG(Error, text)
