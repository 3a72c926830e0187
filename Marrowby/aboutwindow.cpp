#include "aboutwindow.h"

#include "menuicons.h"

#include "Marrowkit/platform/bundle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

AboutWindowStyle AboutWindowStyle::standard()
{
    AboutWindowStyle style;
    QFont font(QStringLiteral("Lora"));
    if (!QFontDatabase::families().contains(QStringLiteral("Lora"))) {
        font = QFont(QStringLiteral("serif"));
        font.setStyleHint(QFont::Serif);
    }
    font.setBold(true);
    font.setItalic(true);
    font.setPointSize(32);
    style.bundleNameFont = font;
    return style;
}

namespace {

QString bundleVersion()
{
    const auto bundle = Bundle::main();
    const QString version = bundle ? bundle->infoDictionary()
                                         .value(QStringLiteral("CFBundleShortVersionString"))
                                         .toString()
                                   : QString();
    return version.isEmpty() ? QStringLiteral("Version unknown")
                             : QStringLiteral("Version ") + version;
}

QString colourCss(const QColor &colour)
{
    return QStringLiteral("color: %1;").arg(colour.name(QColor::HexArgb));
}

} // namespace

AboutWindow::AboutWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("About Marrowby"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 20);
    layout->setSpacing(8);
    auto *icon = new QLabel(this);
    icon->setPixmap(MenuIcons::statusIcon(Qt::white, 64).pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    m_name = new QLabel(QStringLiteral("Marrowby"), this);
    m_version = new QLabel(bundleVersion(), this);
    m_website = new QLabel(this);
    m_website->setOpenExternalLinks(true);
    m_acknowledgements =
        new QLabel(QStringLiteral("Quick access to simulated devices and their apps."), this);
    m_legal = new QLabel(QStringLiteral("Copyright © the Marrowby developers"), this);
    for (QLabel *label : {m_name, m_version, m_website, m_acknowledgements, m_legal}) {
        label->setAlignment(Qt::AlignCenter);
    }
    layout->addWidget(icon);
    layout->addWidget(m_name);
    layout->addWidget(m_version);
    layout->addWidget(m_website);
    layout->addSpacing(12);
    layout->addWidget(m_acknowledgements);
    layout->addStretch();
    layout->addWidget(m_legal);
    setWebsiteAddress(QStringLiteral("https://marrowby.dev"));
    applyStyle(AboutWindowStyle::standard());
    setFixedSize(360, 320);
}

void AboutWindow::setWebsiteAddress(const QString &address)
{
    m_website->setText(QStringLiteral("<a style=\"color: #8cbf1f\" href=\"%1\">%1</a>")
                           .arg(address.toHtmlEscaped()));
}

void AboutWindow::applyStyle(const AboutWindowStyle &style)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, style.background);
    setPalette(palette);
    m_name->setFont(style.bundleNameFont);
    m_name->setStyleSheet(colourCss(style.bundleNameColour));
    m_version->setStyleSheet(colourCss(style.versionColour));
    m_acknowledgements->setStyleSheet(colourCss(style.acknowledgementsColour));
    m_legal->setStyleSheet(colourCss(style.legalNoticeColour));
}

QString AboutWindow::versionText() const
{
    return m_version->text();
}
