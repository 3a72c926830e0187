// Marrowlens, the file-manager extension program: started by the session bus
// when a file-manager shim first calls dev.marrowby.marrowby.Marrowlens, it
// serves /FinderSync until it has observed nothing for a while.
#include "findersync.h"
#include "findersyncadaptor.h"
#include "findersynccontroller.h"
#include "findersyncservice.h"
#include "lenscontract.h"
#include "lenstypes.h"
#include "pluginregistry.h"
#include "revealer.h"
#include "volumelocator.h"

#include "Marrowkit/Connection/loginitem.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/platform/bundle.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileDialog>

#include <cstdio>
#include <memory>

namespace {

bool displayReachable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

std::chrono::milliseconds idleInterval()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("MARROWLENS_IDLE_SECONDS", &ok);
    return ok && seconds > 0 ? std::chrono::seconds(seconds) : std::chrono::minutes(5);
}

QList<QUrl> choosePhotos()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        return {};
    }
    return QFileDialog::getOpenFileUrls(
        nullptr, QStringLiteral("Add photos"), QUrl(),
        QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.heic *.tif *.tiff *.bmp)"));
}

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<QCoreApplication> application;
    if (displayReachable()) {
        application = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption volume(QStringLiteral("volume"),
                                    QStringLiteral("The volume's mount point (default: the "
                                                   "mounted volume, else ~/Volumes/Marrowby)."),
                                    QStringLiteral("path"));
    const QCommandLineOption installActivation(
        QStringLiteral("install-activation"),
        QStringLiteral("Let the session bus start this program (writes the user's activation "
                       "file) and exit."));
    const QCommandLineOption removeActivation(QStringLiteral("remove-activation"),
                                              QStringLiteral("Remove that file and exit."));
    parser.addOptions({volume, installActivation, removeActivation});
    parser.process(*application);
    if (parser.isSet(installActivation) || parser.isSet(removeActivation)) {
        const QString name = LensContract::serviceName();
        const bool done =
            parser.isSet(installActivation)
                ? LoginItem::writeActivationFile(name, QCoreApplication::applicationFilePath())
                : LoginItem::removeActivationFile(name);
        if (!done) {
            std::fprintf(stderr, "Marrowlens: cannot change %s\n",
                         qPrintable(LoginItem::activationFilePath(name)));
        }
        return done ? 0 : 1;
    }

    RotatingLogFileConfiguration logging;
    logging.directoryPath = QStringLiteral("~/Library/Logs/Marrowby/Marrowlens.log");
    Log::enable(logging);
    registerLensTypes();

    const auto bundle = Bundle::main();
    FinderSync::Setup setup;
    setup.volumePath = parser.isSet(volume) ? parser.value(volume) : VolumeLocator::volumePath();
    setup.bundlePath = bundle ? bundle->path() : QCoreApplication::applicationDirPath();
    setup.choosePhotos = choosePhotos;

    QDBusConnection bus = QDBusConnection::sessionBus();
    FinderSyncController host;
    DesktopRevealer revealer;
    FinderSync finderSync(host, revealer, setup);
    FinderSyncService::Lifetime lifetime;
    lifetime.isEnabled = [] {
        return PluginRegistry::isEnabled(LensContract::extensionIdentifier());
    };
    lifetime.idleInterval = idleInterval();
    lifetime.quit = [] { QCoreApplication::quit(); };
    FinderSyncService service(finderSync, host, bus, lifetime);
    new FinderSyncAdaptor(&service); // owned by the service
    if (const auto problem = service.start()) {
        std::fprintf(stderr, "Marrowlens: %s\n", qPrintable(*problem));
        MLOG_ERROR(*problem);
        Log::disable();
        return 1;
    }
    MLOG_INFO(QStringLiteral("Serving the volume at ") + setup.volumePath);
    const int status = application->exec();
    Log::disable();
    return status;
}
