#include "marrowfsprefspane.h"

#include "marrowlensprefspane.h"
#include "preferencesstrings.h"
#include "switchbutton.h"

#include "fileviewer.h"

#include "Marrowkit/foundation/log.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

MarrowfsPrefsPane::MarrowfsPrefsPane(Options options, QWidget *parent)
    : QWidget(parent), m_options(std::move(options))
{
    m_availableView = new QWidget(this);
    m_enableButton = new SwitchButton(PreferencesStrings::enableMarrowfs(), m_availableView);
    m_enableButton->setObjectName(QStringLiteral("enableMarrowfsButton"));
    m_mountPathLabel = new QLabel(m_availableView);
    m_mountPathLabel->setObjectName(QStringLiteral("mountPathLabel"));
    m_mountPathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_revealButton = new QPushButton(PreferencesStrings::revealMountPath(), m_availableView);
    m_revealButton->setObjectName(QStringLiteral("revealMountPathButton"));

    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(m_mountPathLabel, 1);
    pathRow->addWidget(m_revealButton);
    auto *availableLayout = new QVBoxLayout(m_availableView);
    availableLayout->setContentsMargins(0, 0, 0, 0);
    availableLayout->addWidget(m_enableButton);
    availableLayout->addLayout(pathRow);

    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("marrowfsNotAvailableHintTextField"));
    m_hint->setWordWrap(true);
    m_hint->setTextFormat(Qt::RichText);
    m_hint->setTextInteractionFlags(Qt::TextBrowserInteraction);

    if (m_options.registry) {
        m_marrowlensPane = new MarrowlensPrefsPane(*m_options.registry, m_options.alertSink);
    }

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_availableView);
    layout->addWidget(m_hint);
    if (m_marrowlensPane) {
        auto *line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        // The line belongs to the extension's part and goes with it.
        m_marrowlensContainer = new QWidget(this);
        auto *containerLayout = new QVBoxLayout(m_marrowlensContainer);
        containerLayout->setContentsMargins(0, 0, 0, 0);
        containerLayout->addWidget(line);
        containerLayout->addWidget(m_marrowlensPane);
        m_marrowlensContainer->setObjectName(QStringLiteral("marrowlensContainerView"));
        layout->addWidget(m_marrowlensContainer);
    }
    layout->addStretch();

    connect(m_enableButton, &QAbstractButton::clicked, this,
            &MarrowfsPrefsPane::toggleEnableMarrowfs);
    connect(m_revealButton, &QAbstractButton::clicked, this,
            &MarrowfsPrefsPane::revealMarrowfsFolder);
}

void MarrowfsPrefsPane::updateViews()
{
    QString reason;
    const bool available =
        m_options.volume.fuseAvailable && m_options.volume.fuseAvailable(&reason);
    m_availableView->setVisible(available);
    m_hint->setVisible(!available);
    if (!available) {
        const QFont font = m_hint->font();
        m_hint->setText(PreferencesStrings::noFuse(font.family(), qRound(font.pointSizeF())));
        m_hint->setToolTip(reason);
    } else {
        m_enableButton->setOnQuietly(m_options.volume.isOn && m_options.volume.isOn());
    }
    if (m_marrowlensPane) {
        m_marrowlensPane->refresh();
    }
    updateButtonVisibility();
}

void MarrowfsPrefsPane::updateButtonVisibility()
{
    const bool on = m_availableView->isVisibleTo(this) && m_enableButton->isChecked();
    m_mountPathLabel->setText(PreferencesStrings::mountPath(
        m_options.volume.mountPath ? m_options.volume.mountPath() : QString()));
    m_mountPathLabel->setVisible(on);
    m_revealButton->setVisible(on);
    if (m_marrowlensContainer) {
        m_marrowlensContainer->setVisible(on);
    }
    Q_EMIT contentSizeChanged();
}

void MarrowfsPrefsPane::toggleEnableMarrowfs(bool on)
{
    if (on) {
        if (m_options.volume.start) {
            m_options.volume.start();
        }
        if (m_options.volume.isMounted && !m_options.volume.isMounted()) {
            const QString message = PreferencesStrings::mountFailed(
                m_options.volume.mountPath ? m_options.volume.mountPath() : QString());
            MLOG_WARNING(message);
            if (m_options.volume.stop) {
                m_options.volume.stop();
            }
            if (m_options.alertSink) {
                m_options.alertSink(message);
            }
        }
    } else if (m_options.volume.stop) {
        m_options.volume.stop();
    }
    m_enableButton->setOnQuietly(m_options.volume.isOn && m_options.volume.isOn());
    updateButtonVisibility();
}

void MarrowfsPrefsPane::revealMarrowfsFolder()
{
    if (m_options.fileViewer && m_options.volume.mountPath) {
        m_options.fileViewer->revealItems({QUrl::fromLocalFile(m_options.volume.mountPath())});
    }
}
