#include "marrowlensprefspane.h"

#include "pluginregistry.h"
#include "preferencesstrings.h"
#include "switchbutton.h"

#include "Marrowkit/foundation/log.h"
#include "Marrowkit/platform/fileobserver.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

MarrowlensPrefsPane::MarrowlensPrefsPane(PluginRegistry &registry,
                                         std::function<void(const QString &)> alertSink,
                                         QWidget *parent)
    : QWidget(parent), m_registry(registry), m_alertSink(std::move(alertSink))
{
    m_switch = new SwitchButton(PreferencesStrings::enableMarrowlens(), this);
    m_switch->setObjectName(QStringLiteral("toggleEnableMarrowlensButton"));
    auto *explanation = new QLabel(PreferencesStrings::marrowlensExplanation(), this);
    explanation->setWordWrap(true);
    explanation->setForegroundRole(QPalette::PlaceholderText);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setVisible(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_switch);
    layout->addWidget(explanation);
    layout->addWidget(m_status);

    connect(m_switch, &QAbstractButton::clicked, this,
            &MarrowlensPrefsPane::toggleEnableMarrowlens);
    startObserving();
}

MarrowlensPrefsPane::~MarrowlensPrefsPane()
{
    // Once stopped, no handler runs any more; what it posted to this pane
    // goes with the pane.
    stopObserving();
}

QString MarrowlensPrefsPane::registryFolder()
{
    return QDir::homePath() + QStringLiteral("/Library/Caches/com.apple.pluginkit");
}

void MarrowlensPrefsPane::startObserving()
{
    const QString folder = registryFolder();
    if (m_marrowlensEnablingChangeObserver || !QFileInfo(folder).isDir()) {
        return;
    }
    MarrowlensPrefsPane *pane = this;
    m_marrowlensEnablingChangeObserver = std::make_unique<FileObserver>(
        QUrl::fromLocalFile(folder),
        [pane] {
            QMetaObject::invokeMethod(pane, &MarrowlensPrefsPane::registryChanged,
                                      Qt::QueuedConnection);
        },
        [] {});
    m_marrowlensEnablingChangeObserver->startMonitoring();
}

void MarrowlensPrefsPane::stopObserving()
{
    if (m_marrowlensEnablingChangeObserver) {
        m_marrowlensEnablingChangeObserver->stopMonitoring();
        m_marrowlensEnablingChangeObserver.reset();
    }
}

void MarrowlensPrefsPane::renewFileObserver()
{
    stopObserving();
    startObserving();
}

void MarrowlensPrefsPane::registryChanged()
{
    if (m_refreshQueued) {
        return;
    }
    m_refreshQueued = true;
    // Changes arrive in bursts (a new file, then its rename): the ones
    // already queued are taken in by one reading.
    QTimer::singleShot(0, this, [this] {
        m_refreshQueued = false;
        refresh();
        renewFileObserver();
    });
}

std::optional<bool> MarrowlensPrefsPane::marrowlensEnabled()
{
    const Result<bool> enabled = m_registry.isEnabled();
    if (const auto error = enabled.error()) {
        m_status->setText(error->localizedDescription());
        return std::nullopt;
    }
    return enabled.value();
}

void MarrowlensPrefsPane::refresh()
{
    const std::optional<bool> enabled = marrowlensEnabled();
    m_switch->setEnabled(enabled.has_value());
    m_switch->setOnQuietly(enabled.value_or(false));
    m_status->setVisible(!enabled.has_value());
}

void MarrowlensPrefsPane::toggleEnableMarrowlens(bool on)
{
    const Result<Unit> changed = m_registry.setEnabled(on);
    refresh();
    // The first election makes the registry's folder.
    startObserving();
    if (const auto error = changed.error()) {
        MLOG_WARNING(error->localizedDescription());
        if (m_alertSink) {
            m_alertSink(error->localizedDescription());
        }
    }
}
