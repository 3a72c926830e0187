#include "Marrowkit/Connection/parleycontract.h"

#include <QStringList>

namespace ParleyContract {

namespace {

constexpr int maximumNameLength = 255;

bool isNameCharacter(QChar c, bool allowHyphen)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') ||
           (allowHyphen && c == QLatin1Char('-'));
}

// Dot-separated elements, at least two, none empty; `digitFirst` allows an
// element to begin with a digit (unique names only).
bool hasValidElements(QStringView name, bool digitFirst)
{
    if (name.isEmpty() || name.size() > maximumNameLength) {
        return false;
    }
    int elements = 0;
    for (QStringView element : name.split(QLatin1Char('.'))) {
        if (element.isEmpty() || (!digitFirst && element.front().isDigit())) {
            return false;
        }
        for (QChar c : element) {
            if (!isNameCharacter(c, true)) {
                return false;
            }
        }
        ++elements;
    }
    return elements >= 2;
}

} // namespace

QString serviceName()
{
    return QStringLiteral("M4RR0WBY00.dev.marrowby.marrowby.Parley");
}

QString loginItemName()
{
    return serviceName() + QStringLiteral(".app");
}

QString inspectorObjectPath()
{
    return QStringLiteral("/DeviceInspector");
}

QString inspectorInterfaceName()
{
    return serviceName() + QStringLiteral(".DeviceInspectorProtocol");
}

QString clientObjectPath()
{
    return QStringLiteral("/SimulatorUpdate");
}

QString updateInterfaceName()
{
    return serviceName() + QStringLiteral(".SimulatorUpdateProtocol");
}

bool isUniqueBusName(const QString &name)
{
    return name.startsWith(QLatin1Char(':')) && hasValidElements(QStringView(name).mid(1), true);
}

bool isWellKnownBusName(const QString &name)
{
    return !name.startsWith(QLatin1Char(':')) && hasValidElements(name, false);
}

} // namespace ParleyContract
