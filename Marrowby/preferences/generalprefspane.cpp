#include "generalprefspane.h"

#include "preferencesstrings.h"
#include "startatlogincontroller.h"
#include "switchbutton.h"

#include "fileviewer.h"

#include "Marrowkit/devtools/developertools.h"
#include "Marrowkit/foundation/log.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QFrame *separator(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel *explanation(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    label->setFont(small);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

GeneralPrefsPane::GeneralPrefsPane(Options options, QWidget *parent)
    : QWidget(parent), m_options(std::move(options))
{
    m_xcodeSelectButton = new QComboBox(this);
    m_xcodeSelectButton->setObjectName(QStringLiteral("xcodeSelectButton"));
    m_xcodeSelectButton->setMinimumContentsLength(18);
    m_xcodePathLabel = new QLabel(this);
    m_xcodePathLabel->setObjectName(QStringLiteral("xcodePathLabel"));
    m_xcodePathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_revealXcodeButton = new QPushButton(PreferencesStrings::revealXcode(), this);
    m_cltExplanation = explanation(PreferencesStrings::cltExplanation(), this);
    m_startAtLoginButton = new SwitchButton(PreferencesStrings::startAtLogin(), this);
    m_startAtLoginButton->setObjectName(QStringLiteral("startAtLoginButton"));
    m_updateInformation = explanation(QString(), this);
    m_updateInformation->setObjectName(QStringLiteral("updateInformationTextField"));
    m_checkForUpdatesButton = new QPushButton(PreferencesStrings::checkForUpdates(), this);
    m_installUpdateButton = new QPushButton(PreferencesStrings::installUpdate(), this);

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(PreferencesStrings::xcodeLabel(), this), 0, 0, Qt::AlignRight);
    grid->addWidget(m_xcodeSelectButton, 0, 1, 1, 2);
    grid->addWidget(m_xcodePathLabel, 1, 1);
    grid->addWidget(m_revealXcodeButton, 1, 2);
    grid->addWidget(m_cltExplanation, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto *updateButtons = new QHBoxLayout;
    updateButtons->addStretch();
    updateButtons->addWidget(m_checkForUpdatesButton);
    updateButtons->addWidget(m_installUpdateButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(separator(this));
    layout->addWidget(m_startAtLoginButton);
    layout->addWidget(separator(this));
    layout->addWidget(m_updateInformation);
    layout->addLayout(updateButtons);
    layout->addStretch();

    // activated and clicked report the user's own choices only, never the
    // pane's updates.
    connect(m_xcodeSelectButton, &QComboBox::activated, this, &GeneralPrefsPane::onXcodeSelected);
    connect(m_startAtLoginButton, &QAbstractButton::clicked, this,
            &GeneralPrefsPane::toggleStartAtLogin);
    connect(m_revealXcodeButton, &QAbstractButton::clicked, this,
            &GeneralPrefsPane::showCurrentXcodeInFileViewer);
}

QString GeneralPrefsPane::titleForXcode(const XcodeVersion &xcode)
{
    QString title = QStringLiteral("Xcode ") + xcode.version();
    if (const auto build = xcode.productBuildVersion()) {
        title += QStringLiteral(" (") + *build + QLatin1Char(')');
    }
    return title;
}

void GeneralPrefsPane::viewWillAppear()
{
    m_xcodePathLabel->setText(PreferencesStrings::noXcodeSelected());
    m_revealXcodeButton->setVisible(false);
    // No updater on this platform: the controls stay, disabled, and say
    // where updates come from.
    m_updateInformation->setText(PreferencesStrings::updatesByPackageManager());
    m_installUpdateButton->setEnabled(false);
    m_checkForUpdatesButton->setEnabled(false);

    m_xcodes = DeveloperTools().installedXcodes();
    m_selectedIndex = -1;
    m_xcodeSelectButton->clear();
    for (qsizetype i = 0; i < m_xcodes.size(); ++i) {
        const XcodeVersion &xcode = m_xcodes.at(i);
        m_xcodeSelectButton->addItem(titleForXcode(xcode));
        m_xcodeSelectButton->setItemData(int(i), xcode.url().path(), Qt::ToolTipRole);
        if (m_selectedIndex < 0 && xcode.isCurrentlySelected() && !xcode.url().path().isEmpty()) {
            m_selectedIndex = int(i);
        }
    }
    m_xcodeSelectButton->setCurrentIndex(m_selectedIndex);
    if (m_selectedIndex >= 0) {
        showSelectedXcode(m_xcodes.at(m_selectedIndex));
    }
    m_startAtLoginButton->setOnQuietly(m_options.startAtLogin &&
                                       m_options.startAtLogin->startAtLogin());
    m_startAtLoginButton->setEnabled(m_options.startAtLogin != nullptr);
}

void GeneralPrefsPane::showSelectedXcode(const std::optional<XcodeVersion> &xcode)
{
    if (!xcode || xcode->url().path().isEmpty()) {
        return;
    }
    m_xcodePathLabel->setText(xcode->url().path());
    m_revealXcodeButton->setVisible(true);
}

void GeneralPrefsPane::onXcodeSelected(int index)
{
    if (index == m_selectedIndex || index < 0 || index >= m_xcodes.size()) {
        return;
    }
    const XcodeVersion chosen = m_xcodes.at(index);
    if (DeveloperTools().setSelectedXcode(chosen)) {
        m_selectedIndex = index;
        const auto current = DeveloperTools().currentlySelectedXcode();
        if (current && !current->url().path().isEmpty()) {
            showSelectedXcode(current);
            MLOG_INFO(
                QStringLiteral("Selected %1 at %2").arg(current->version(), current->url().path()));
            Q_EMIT xcodeVersionDidChange(Box<XcodeVersion>(*current));
        }
        return;
    }
    // Why: the usual cause is an Xcode removed since the list was read.
    const bool gone = !QFileInfo(chosen.developerDirectory().path()).isDir();
    const QString message = PreferencesStrings::xcodeSwitchFailed(
        titleForXcode(chosen), gone ? PreferencesStrings::xcodeGone(chosen.url().path())
                                    : PreferencesStrings::xcodeRefused());
    MLOG_WARNING(message);
    // The list and the selection as they are now, before the user reads
    // the message.
    viewWillAppear();
    alert(message);
}

void GeneralPrefsPane::toggleStartAtLogin(bool on)
{
    if (!m_options.startAtLogin) {
        return;
    }
    const Result<Unit> changed = m_options.startAtLogin->setStartAtLogin(on);
    // The switch shows the entry as it is, whatever happened.
    m_startAtLoginButton->setOnQuietly(m_options.startAtLogin->startAtLogin());
    if (const auto error = changed.error()) {
        MLOG_WARNING(error->localizedDescription());
        alert(PreferencesStrings::startAtLoginFailed(error->localizedDescription()));
    }
}

void GeneralPrefsPane::showCurrentXcodeInFileViewer()
{
    const auto current = DeveloperTools().currentlySelectedXcode();
    if (current && m_options.fileViewer) {
        m_options.fileViewer->revealItems({current->fileURL()});
    }
}

void GeneralPrefsPane::alert(const QString &message)
{
    if (m_options.alertSink) {
        m_options.alertSink(message);
    }
}
