// Marrowby: the status-area application. Sets up Qt, reads the command
// line, makes the delegate and runs until Quit or SIGTERM/SIGINT, which end
// the same way: the volume is unmounted before the service is stopped.
#include "appdelegate.h"
#include "instancelock.h"
#include "menuscreenshot.h"
#include "preferencesscreenshot.h"
#include "preferenceswindow.h"
#include "quitsignals.h"

#include "Marrowfs/marrowfscontroller.h"

#include "Marrowkit/foundation/log.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

Qt::KeyboardModifiers keysFromText(const QString &text)
{
    Qt::KeyboardModifiers keys;
    for (const QString &key : text.toLower().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (key == QLatin1String("alt")) {
            keys |= Qt::AltModifier;
        } else if (key == QLatin1String("ctrl")) {
            keys |= Qt::ControlModifier;
        } else if (key == QLatin1String("shift")) {
            keys |= Qt::ShiftModifier;
        } else if (key == QLatin1String("meta")) {
            keys |= Qt::MetaModifier;
        }
    }
    return keys;
}

// SIGTERM and SIGINT end the program the way the Quit item does.
void quitOnSignal(int number)
{
    MLOG_INFO(QStringLiteral("Signal %1: quitting").arg(number));
    QApplication::quit();
}

void say(const QString &line)
{
    (void)std::fprintf(stderr, "Marrowby: %s\n", qPrintable(line));
}

} // namespace

int main(int argc, char *argv[])
{
    // Started from a terminal or a launcher that has gone since, a write to
    // a closed standard stream must fail, not end the application.
    (void)::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marrowby"));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quick access to simulated devices and their apps from the status area.\n"
        "Keys held while an item is highlighted: Ctrl launches, Alt resets data or adds "
        "photos, Meta uninstalls or erases, Ctrl+Alt shows app groups, Shift copies the path "
        "and shows sizes in bytes."));
    parser.addHelpOption();
    const QCommandLineOption window(
        QStringLiteral("window"), QStringLiteral("Show the status window instead of a tray icon."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the open menu with an app highlighted."),
        QStringLiteral("png"));
    const QCommandLineOption preferencesScreenshot(
        QStringLiteral("preferences-screenshot"),
        QStringLiteral("Save a picture of the preferences window, every tab side by side."),
        QStringLiteral("png"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after-screenshot"),
                                       QStringLiteral("Quit once the picture is saved."));
    const QCommandLineOption holdKeys(
        QStringLiteral("hold-keys"),
        QStringLiteral("Act as if these keys were held (alt,ctrl,shift,meta), for pictures."),
        QStringLiteral("keys"));
    const QCommandLineOption mountPath(QStringLiteral("mount-path"),
                                       QStringLiteral("Mount the volume here."),
                                       QStringLiteral("folder"));
    parser.addOptions({window, screenshot, preferencesScreenshot, quitAfter, holdKeys, mountPath});
    parser.process(application);

    // One Marrowby per user: a second one would mount over the first's
    // volume and show a second icon. The login helper hands its lock down.
    const InstanceLock instance = InstanceLock::acquireForApplication(InstanceLock::defaultPath());
    if (instance.state() == InstanceLock::State::HeldByAnother) {
        say(QStringLiteral("Marrowby runs already for this user"));
        return 0;
    }
    if (instance.state() == InstanceLock::State::Unusable) {
        say(QStringLiteral("cannot tell whether Marrowby runs already (%1); starting anyway")
                .arg(instance.errorString()));
    }

    AppDelegate::Options options;
    options.statusArea = parser.isSet(window) ? StatusItemController::StatusArea::Window
                                              : StatusItemController::StatusArea::Tray;
    options.mountPath = parser.value(mountPath);
    if (parser.isSet(holdKeys)) {
        const Qt::KeyboardModifiers held = keysFromText(parser.value(holdKeys));
        options.keyboardModifiers = [held] {
            return QGuiApplication::queryKeyboardModifiers() | held;
        };
    }
    AppDelegate delegate(std::move(options));
    QuitSignals quitSignals;
    QObject::connect(&delegate, &AppDelegate::quitRequested, &application, &QApplication::quit);
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &application, &quitOnSignal);

    delegate.applicationDidFinishLaunching();
    for (const QString &missing : delegate.missingServices()) {
        say(QStringLiteral("running with ") + missing);
    }
    if (delegate.marrowfs() && delegate.marrowfs()->isMounted()) {
        say(QStringLiteral("volume mounted at ") + delegate.marrowfs()->mountPath());
    }

    int status = 0;
    if (parser.isSet(screenshot)) {
        QTimer::singleShot(0, &application, [&] {
            const QString error =
                MenuScreenshot::capture(delegate.statusItemController(), delegate.parleyConnector(),
                                        parser.value(screenshot), std::chrono::seconds(60));
            if (error.isEmpty()) {
                say(QStringLiteral("menu picture saved to ") + parser.value(screenshot));
            } else {
                say(QStringLiteral("no menu picture: ") + error);
                status = 1;
            }
            if (parser.isSet(quitAfter)) {
                QApplication::quit();
            }
        });
    }
    if (parser.isSet(preferencesScreenshot)) {
        QTimer::singleShot(0, &application, [&] {
            delegate.showPreferences();
            const QString path = parser.value(preferencesScreenshot);
            const QString error =
                PreferencesScreenshot::capture(*delegate.preferencesWindow(), path);
            if (error.isEmpty()) {
                say(QStringLiteral("preferences picture saved to ") + path);
            } else {
                say(QStringLiteral("no preferences picture: ") + error);
                status = 1;
            }
            if (parser.isSet(quitAfter) && !parser.isSet(screenshot)) {
                QApplication::quit();
            }
        });
    }
    const int loopStatus = application.exec();
    delegate.applicationWillTerminate();
    return status != 0 ? status : loopStatus;
}
