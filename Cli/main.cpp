// marrowby-cli: the simulated devices and their apps from a shell, through
// the same service the menu-bar application uses.
#include "clisession.h"
#include "mountcommand.h"

#include "Marrowkit/foundation/log.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // App icons are drawn on decoding; no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    // Standard error is for the user: only warnings and errors go there.
    Log::setMinimumSeverity(LogSeverity::Warning);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CliSession session(out, err);
    session.setMountHandler([&application](ParleyConnector &connector, const QStringList &paths) {
        return runMountCommand(application, connector, paths);
    });
    return session.run(QCoreApplication::arguments().mid(1));
}
