#include "Marrowkit/foundation/performtask.h"

#include <QProcess>
#include <QStringDecoder>

namespace {

// A program that ignores the terminate signal gets this long before it is
// killed, so that a caller who asked not to wait is not kept waiting forever.
constexpr int terminateGraceMs = 5000;

std::optional<QString> decodeTrimmed(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    return trimmed;
}

} // namespace

std::optional<QString> performTask(const QString &path, const QStringList &arguments,
                                   bool waitUntilExit)
{
    if (path.isEmpty()) {
        return std::nullopt;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(path, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        return std::nullopt;
    }
    if (!waitUntilExit) {
        process.terminate();
        if (!process.waitForFinished(terminateGraceMs)) {
            process.kill();
        }
    }
    // The output is read as the program runs, so a program that prints more
    // than a pipe holds does not stall. The wait ends when the program exits,
    // even if a child it left behind still holds the other end of the pipe.
    process.waitForFinished(-1);
    return decodeTrimmed(process.readAllStandardOutput());
}
