#include "appdelegate.h"

#include "fileviewer.h"
#include "marrowbydefaults.h"
#include "menuactionhandlers.h"
#include "pluginregistry.h"
#include "preferenceswindow.h"
#include "startatlogincontroller.h"

#include "Marrowfs/connectorfeed.h"
#include "Marrowfs/marrowfscontroller.h"
#include "Marrowkit/Connection/loginitem.h"
#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/foundation/performtask.h"
#include "Marrowkit/platform/bundle.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>

namespace {

QString marrowlensIdentifier()
{
    return QStringLiteral("dev.marrowby.marrowby.Marrowby.Marrowlens");
}

// The extension program's name on the session bus.
QString marrowlensBusName()
{
    return QStringLiteral("dev.marrowby.marrowby.Marrowlens");
}

QString loginHelperIdentifier()
{
    return QStringLiteral("dev.marrowby.marrowby.MarrowbyHelper");
}

} // namespace

AppDelegate::AppDelegate(Options options) : m_options(std::move(options))
{
    if (!m_options.fileViewer) {
        m_options.fileViewer = std::make_shared<DesktopFileViewer>();
    }
    if (!m_options.photoChooser) {
        m_options.photoChooser = &MenuActionHandlers::chooseImagesWithDialog;
    }
    m_startAtLogin = std::make_unique<StartAtLoginController>(loginHelperIdentifier());
    m_pluginRegistry = std::make_unique<PluginRegistry>(marrowlensIdentifier());
    m_parleyConnector = std::make_unique<ParleyConnector>(QStringLiteral("Marrowby"), std::nullopt,
                                                          m_options.busAddress);
    StatusItemController::Options menuOptions;
    menuOptions.statusArea = m_options.statusArea;
    menuOptions.keyboardModifiers = m_options.keyboardModifiers;
    m_statusItemController =
        std::make_unique<StatusItemController>(*m_parleyConnector, std::move(menuOptions));
    connect(m_statusItemController.get(), &StatusItemController::quitRequested, this,
            &AppDelegate::quitRequested);
    // The volume's readme and the file managers' view follow the selection.
    connect(m_statusItemController.get(), &StatusItemController::selectedXcodeChanged, this,
            [this] {
                if (m_marrowfs) {
                    m_marrowfs->selectedXcodeChanged();
                }
            });
}

AppDelegate::~AppDelegate()
{
    // The window's panes call into the delegate: it goes first.
    m_preferences.reset();
    // Without a quit (a test that drops the delegate), the volume still goes
    // first; the service is left to its other clients.
    m_marrowfs.reset();
    m_feed.reset();
    m_statusItemController.reset();
}

void AppDelegate::configureLogging()
{
    RotatingLogFileConfiguration configuration;
    configuration.minimumSeverity = LogSeverity::Info;
    configuration.daysToKeep = 7;
    configuration.directoryPath = QStringLiteral("~/Library/Logs/Marrowby/Marrowby.log");
    if (!Log::enable(configuration)) {
        MLOG_WARNING(QStringLiteral("The log folder cannot be made; logging to standard error"));
    }
}

void AppDelegate::noteMissingServices()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        m_missing.append(
            QStringLiteral("no display (platform %1): nothing is shown").arg(platform));
    } else if (m_options.statusArea == StatusItemController::StatusArea::Tray &&
               !QSystemTrayIcon::isSystemTrayAvailable()) {
        m_missing.append(
            QStringLiteral("no status area (tray) on this desktop: the status window is shown"));
    }
    const QDBusConnection bus =
        m_options.busAddress.isEmpty()
            ? QDBusConnection::sessionBus()
            : QDBusConnection::connectToBus(m_options.busAddress, QStringLiteral("marrowby-check"));
    if (!bus.isConnected()) {
        m_missing.append(QStringLiteral("no session bus: the service cannot be reached, so the "
                                        "menu waits for simulators"));
    }
    QString reason;
    if (!MarrowfsController::isFuseAvailable(&reason)) {
        m_missing.append(QStringLiteral("no FUSE (%1): the volume is not mounted").arg(reason));
    }
    for (const QString &missing : m_missing) {
        MLOG_WARNING(QStringLiteral("Running without ") + missing.mid(3));
    }
}

void AppDelegate::applicationDidFinishLaunching()
{
    configureLogging();
    noteMissingServices();
    registerMarrowlensActivation();
    // The defaults read as registered (true) until written.
    if (MarrowbyDefaults::marrowfsEnabled()) {
        startMarrowfs();
    }
    // No updater exists on this platform: update checks are skipped.
    m_handlers = std::make_unique<MenuActionHandlers>(
        *m_parleyConnector, *m_options.fileViewer, [this] { return m_marrowfs.get(); },
        m_options.photoChooser);
    MenuActionHandlers *handlers = m_handlers.get();
    m_statusItemController->selectedAppClosure = [handlers](const SimulatorAppPtr &app,
                                                            MenuItemAction action) {
        handlers->appSelected(app, action);
    };
    m_statusItemController->selectedDeviceClosure = [handlers](const SimulatorDevicePtr &device,
                                                               MenuItemAction action) {
        handlers->deviceSelected(device, action);
    };
    m_statusItemController->didDropImageClosure = [handlers](const SimulatorDevicePtr &device,
                                                             const QList<QUrl> &urls) {
        handlers->imagesDropped(device, urls);
    };
    m_statusItemController->alertPresenter = [this](const QString &message) { showAlert(message); };
    m_statusItemController->setPreferencesOpener([this] { showPreferences(); });
}

void AppDelegate::showPreferences()
{
    if (!m_preferences) {
        PreferencesWindow::Options options;
        const auto alert = [this](const QString &message) { showAlert(message); };
        options.general.startAtLogin = m_startAtLogin.get();
        options.general.fileViewer = m_options.fileViewer;
        options.general.alertSink = alert;
        MarrowfsPrefsPane::Volume &volume = options.marrowfs.volume;
        volume.isOn = [this] { return m_marrowfs != nullptr; };
        volume.isMounted = [this] { return m_marrowfs && m_marrowfs->isMounted(); };
        volume.start = [this] { startMarrowfs(); };
        volume.stop = [this] { stopMarrowfs(); };
        volume.mountPath = [this] {
            if (m_marrowfs) {
                return m_marrowfs->mountPath();
            }
            return m_options.mountPath.isEmpty() ? MarrowfsController::defaultMountPath()
                                                 : m_options.mountPath;
        };
        volume.fuseAvailable = [](QString *reason) {
            return MarrowfsController::isFuseAvailable(reason);
        };
        options.marrowfs.registry = m_pluginRegistry.get();
        options.marrowfs.fileViewer = m_options.fileViewer;
        options.marrowfs.alertSink = alert;
        m_preferences = std::make_unique<PreferencesWindow>(std::move(options));
        // The announcement of another Xcode: the menu reconnects and
        // rebuilds, and through it the volume makes its readme again.
        connect(m_preferences.get(), &PreferencesWindow::xcodeVersionDidChange, this,
                [this](const Box<XcodeVersion> &current) {
                    m_statusItemController->xcodeSelectionDidChange(current.value());
                });
    }
    m_preferences->present();
}

void AppDelegate::registerMarrowlensActivation()
{
    // On every launch: the bus must start the extension program of this
    // bundle, wherever the bundle was moved since.
    const QFileInfo program(
        QCoreApplication::applicationDirPath() +
        QStringLiteral("/../PlugIns/Marrowlens.appex/Contents/MacOS/Marrowlens"));
    if (program.isFile() && program.isExecutable() &&
        !LoginItem::writeActivationFile(marrowlensBusName(), program.canonicalFilePath())) {
        MLOG_WARNING(QStringLiteral("The file manager cannot start the extension: %1 cannot be "
                                    "written")
                         .arg(LoginItem::activationFilePath(marrowlensBusName())));
    }
}

void AppDelegate::enableMarrowlensOnce()
{
    if (!MarrowbyDefaults::marrowlensShouldBeEnabled()) {
        return;
    }
    // The outcome is not examined: the user's own choice stands afterwards.
    performTask(developerToolPath(QStringLiteral("pluginkit")),
                {QStringLiteral("-e"), QStringLiteral("use"), QStringLiteral("-i"),
                 marrowlensIdentifier()});
    MarrowbyDefaults::setMarrowlensShouldBeEnabled(false);
}

void AppDelegate::startMarrowfs()
{
    enableMarrowlensOnce();
    m_marrowfs.reset();
    m_feed = std::make_unique<ConnectorFeed>(*m_parleyConnector, this);
    m_marrowfs = m_options.mountPath.isEmpty()
                     ? std::make_unique<MarrowfsController>(m_feed->catalogue(), *m_feed)
                     : std::make_unique<MarrowfsController>(m_feed->catalogue(), *m_feed,
                                                            m_options.mountPath);
    if (!m_marrowfs->start()) {
        MLOG_WARNING(QStringLiteral("The volume could not be mounted at ") +
                     m_marrowfs->mountPath());
        // Without FUSE at all the user was told at launch; anything else
        // (a folder in the way, another volume there) is theirs to mend.
        if (MarrowfsController::isFuseAvailable()) {
            showAlert(QStringLiteral("The volume could not be mounted at %1.\n%2")
                          .arg(m_marrowfs->mountPath(), m_marrowfs->errorString()));
        }
    } else {
        MLOG_INFO(QStringLiteral("Volume mounted at ") + m_marrowfs->mountPath());
    }
    MarrowbyDefaults::setMarrowfsEnabled(true);
}

void AppDelegate::stopMarrowfs()
{
    if (m_marrowfs) {
        m_marrowfs->stop();
    }
    m_marrowfs.reset();
    m_feed.reset();
    MarrowbyDefaults::setMarrowfsEnabled(false);
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated) {
        return;
    }
    m_terminated = true;
    if (m_marrowfs) {
        m_marrowfs->stop();
    }
    m_marrowfs.reset();
    m_feed.reset();
    m_parleyConnector->quit();
    Log::disable();
}

void AppDelegate::showAlert(const QString &message)
{
    if (m_options.alertSink) {
        m_options.alertSink(message);
        return;
    }
    // Not modal to the event loop: the menu and the volume keep running.
    auto *box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Marrowby"), message, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}
