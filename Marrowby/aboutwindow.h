// The About window: the product's name in a serif bold italic, its version,
// the web-site address and the legal notice, on a dark grey background.
//
// Threads: main thread.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

struct AboutWindowStyle
{
    QColor background = QColor::fromRgbF(0.267f, 0.267f, 0.267f, 1.0f);
    // "Lora" bold italic at 32 points where installed, else a serif bold italic.
    QFont bundleNameFont;
    QColor bundleNameColour = QColor::fromRgbF(0.55f, 0.75f, 0.12f, 1.0f);
    QColor versionColour = QColor::fromRgbF(0.67f, 0.67f, 0.67f, 1.0f);
    QColor acknowledgementsColour = Qt::white;
    QColor legalNoticeColour = QColor::fromRgbF(0.67f, 0.67f, 0.67f, 1.0f);

    static AboutWindowStyle standard();
};

class QLabel;

class AboutWindow : public QWidget
{
    Q_OBJECT

public:
    explicit AboutWindow(QWidget *parent = nullptr);

    void setWebsiteAddress(const QString &address);
    void applyStyle(const AboutWindowStyle &style);
    QString versionText() const;

private:
    QLabel *m_name = nullptr;
    QLabel *m_version = nullptr;
    QLabel *m_website = nullptr;
    QLabel *m_acknowledgements = nullptr;
    QLabel *m_legal = nullptr;
};
