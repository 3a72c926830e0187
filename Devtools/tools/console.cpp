#include "console.h"

#include <cstdio>

namespace {
void write(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    (void)std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    (void)std::fflush(stream);
}
} // namespace

namespace Console {

void out(const QString &line)
{
    write(stdout, line);
}

void err(const QString &line)
{
    write(stderr, line);
}

int fail(const QString &line, int status)
{
    err(line);
    return status;
}

} // namespace Console
