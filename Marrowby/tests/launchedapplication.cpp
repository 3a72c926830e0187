#include "launchedapplication.h"

void LaunchedApplication::TearDown()
{
    if (m_delegate) {
        m_delegate->applicationWillTerminate();
    }
    m_delegate.reset();
    MenuWorld::TearDown();
}

AppDelegate &LaunchedApplication::launch()
{
    AppDelegate::Options options;
    options.statusArea = StatusItemController::StatusArea::None;
    options.busAddress = m_bus->address();
    options.mountPath = m_home->filePath(QStringLiteral("Volumes/Marrowby"));
    options.fileViewer = m_viewer;
    options.alertSink = [this](const QString &message) { m_alerts.append(message); };
    options.photoChooser = [] { return QList<QUrl>(); };
    m_delegate = std::make_unique<AppDelegate>(options);
    m_delegate->applicationDidFinishLaunching();
    return *m_delegate;
}
