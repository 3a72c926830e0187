#include "switchbutton.h"

#include <QPalette>
#include <QSignalBlocker>

SwitchButton::SwitchButton(const QString &text, QWidget *parent) : QCheckBox(text, parent)
{
    QPalette tinted = palette();
    tinted.setColor(QPalette::Highlight, accentColour());
    setPalette(tinted);
}

void SwitchButton::setOnQuietly(bool on)
{
    const QSignalBlocker quiet(this);
    setChecked(on);
}
