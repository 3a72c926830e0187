// The logging facade every program of the system logs through. Records carry a
// severity, the message, the calling function, the source file (as
// "Deliverable/file", without folders above it and without extension) and the
// line, and the logger of the library that made it. Logging never throws and
// never waits for the disk: records go through a bounded asynchronous queue
// to the sinks.
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

// The logger a call is made for, chosen where the call is compiled: the build
// defines MARROWBY_LOGGER per target, as the target's lower-case name
// ("marrowkit", "marrowsim", "parley", ...). Every line names its logger, so
// a log file that several libraries write to says where each line came from.
// (The functions below take it as a default argument, which may differ from
// one translation unit to the next because they are not inline.)
#ifndef MARROWBY_LOGGER
#define MARROWBY_LOGGER "marrowby"
#endif

// One channel of a fixed severity for one logger, present only when that
// severity is logged.
class MARROWKIT_EXPORT LogChannel
{
public:
    LogChannel(LogSeverity severity, const char *logger) : m_severity(severity), m_logger(logger) {}
    void message(const QString &text, const char *function, const char *filePath, int line) const;
    void value(const std::optional<QVariant> &value, const char *function, const char *filePath,
               int line) const;
    void trace(const char *function, const char *filePath, int line) const;
    LogSeverity severity() const { return m_severity; }
    const char *logger() const { return m_logger; }

private:
    LogSeverity m_severity;
    const char *m_logger;
};

namespace Log {

// Starts writing to a daily rotating file; removes files older than the days
// to keep. Until it is called, records at the minimum and above go to
// standard error. Returns false when the folder cannot be made.
MARROWKIT_EXPORT bool enable(const RotatingLogFileConfiguration &configuration);
// Stops file logging and flushes what is pending (tests, shutdown).
MARROWKIT_EXPORT void disable();

MARROWKIT_EXPORT void setMinimumSeverity(LogSeverity severity);
MARROWKIT_EXPORT LogSeverity minimumSeverity();

MARROWKIT_EXPORT void message(LogSeverity severity, const QString &text, const char *function,
                              const char *filePath, int line, const char *logger = MARROWBY_LOGGER);
MARROWKIT_EXPORT void value(LogSeverity severity, const std::optional<QVariant> &value,
                            const char *function, const char *filePath, int line,
                            const char *logger = MARROWBY_LOGGER);
MARROWKIT_EXPORT void trace(LogSeverity severity, const char *function, const char *filePath,
                            int line, const char *logger = MARROWBY_LOGGER);

MARROWKIT_EXPORT std::optional<LogChannel> verbose(const char *logger = MARROWBY_LOGGER);
MARROWKIT_EXPORT std::optional<LogChannel> debug(const char *logger = MARROWBY_LOGGER);
MARROWKIT_EXPORT std::optional<LogChannel> info(const char *logger = MARROWBY_LOGGER);
MARROWKIT_EXPORT std::optional<LogChannel> warning(const char *logger = MARROWBY_LOGGER);
MARROWKIT_EXPORT std::optional<LogChannel> error(const char *logger = MARROWBY_LOGGER);

// "Marrowkit/fileobserver" for ".../Marrowkit/fileobserver.cpp".
MARROWKIT_EXPORT QString sourceFileName(const char *filePath);
// "startMonitoring()" for "startMonitoring".
MARROWKIT_EXPORT QString functionName(const char *function);

// Every record passes through here before the sinks; for tests.
using Observer = std::function<void(LogSeverity, const QString &message, const QString &function,
                                    const QString &file, int line)>;
MARROWKIT_EXPORT void setObserver(Observer observer);

} // namespace Log

// Call-site macros: capture the function, file and line where they are used,
// and log for the library they are compiled into. A file may name its own
// source (as "Marrowkit/FileObserver") by defining MARROWBY_LOG_SOURCE before
// any include.
#ifndef MARROWBY_LOG_SOURCE
#define MARROWBY_LOG_SOURCE __FILE__
#endif

#define MLOG(severity, text)                                                                       \
    ::Log::message(::LogSeverity::severity, (text), __func__, MARROWBY_LOG_SOURCE, __LINE__,       \
                   MARROWBY_LOGGER)
#define MLOG_VERBOSE(text) MLOG(Verbose, text)
#define MLOG_DEBUG(text) MLOG(Debug, text)
#define MLOG_INFO(text) MLOG(Info, text)
#define MLOG_WARNING(text) MLOG(Warning, text)
#define MLOG_ERROR(text) MLOG(Error, text)
