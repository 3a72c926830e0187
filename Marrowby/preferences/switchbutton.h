// The on/off control of the preferences: a check box in the application's
// accent colour (calibrated red 0.55, green 0.75, blue 0.12).
//
// Threads: main thread.
#pragma once

#include <QCheckBox>
#include <QColor>

class SwitchButton : public QCheckBox
{
    Q_OBJECT

public:
    static QColor accentColour() { return QColor::fromRgbF(0.55f, 0.75f, 0.12f, 1.0f); }

    explicit SwitchButton(const QString &text, QWidget *parent = nullptr);
    // Shows `on` without reporting it as the user's click.
    void setOnQuietly(bool on);
};
