#include "marrowbydefaults.h"

#include <QSettings>
#include <QStandardPaths>

namespace MarrowbyDefaults {

namespace {

const QString marrowfsKey = QStringLiteral("MarrowfsEnabled");
const QString marrowlensKey = QStringLiteral("MarrowlensShouldBeEnabled");

// The registered defaults: an unset key reads as its default.
bool read(const QString &key, bool registeredDefault)
{
    return QSettings(filePath(), QSettings::IniFormat).value(key, registeredDefault).toBool();
}

void write(const QString &key, bool value)
{
    QSettings settings(filePath(), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}

} // namespace

QString filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Marrowby/Marrowby.conf");
}

bool marrowfsEnabled()
{
    return read(marrowfsKey, true);
}

void setMarrowfsEnabled(bool enabled)
{
    write(marrowfsKey, enabled);
}

bool marrowlensShouldBeEnabled()
{
    return read(marrowlensKey, true);
}

void setMarrowlensShouldBeEnabled(bool shouldBeEnabled)
{
    write(marrowlensKey, shouldBeEnabled);
}

} // namespace MarrowbyDefaults
