// Parley, the inspector service: started by the session bus when a client
// first calls its name, ended by the `stop` request.
#include "parleyservice.h"

#include "Marrowkit/foundation/log.h"
#include "Marrowkit/platform/bundle.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

// The clipboard (copying paths) needs a display; without one the service
// runs without the GUI and a copy is refused.
bool displayReachable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<QCoreApplication> application;
    if (displayReachable()) {
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }

    RotatingLogFileConfiguration logging;
    logging.minimumSeverity = LogSeverity::Info;
    logging.daysToKeep = 7;
    logging.directoryPath = QStringLiteral("~/Library/Logs/Marrowby/Parley.log");
    Log::enable(logging);

    const auto bundle = Bundle::main();
    const QString serviceName = bundle ? bundle->identifier() : QString();
    if (serviceName.isEmpty()) {
        std::fprintf(stderr, "Parley: no bundle identifier: the program must run from its "
                             "bundle (Contents/Info.plist with CFBundleIdentifier)\n");
        return 1;
    }

    ParleyService service(QDBusConnection::sessionBus(), serviceName);
    if (const auto problem = service.start()) {
        std::fprintf(stderr, "Parley: %s\n", qPrintable(*problem));
        MLOG_ERROR(*problem);
        Log::disable();
        return 1;
    }
    return application->exec();
}
