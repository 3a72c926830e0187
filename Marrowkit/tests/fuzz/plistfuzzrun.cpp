#include "plistfuzzrun.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace PlistFuzzCheck {

void initializeFuzzing(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Corrupt PNG data is expected; the decoder's complaints are noise.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static QGuiApplication application(*argc, *argv);
}

int fuzzOne(Target target, const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const Outcome outcome = check(target, bytes);
    if (outcome.problem) {
        (void)std::fprintf(stderr, "round trip failed: %s\n",
                           outcome.problem->toUtf8().constData());
        std::abort();
    }
    return 0;
}

} // namespace PlistFuzzCheck
