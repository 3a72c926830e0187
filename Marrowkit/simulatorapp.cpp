#include "Marrowkit/simulatorapp.h"

SimulatorApp::SimulatorApp(QString uuid, QString name, QString versionDescription)
    : SimulatorItem(std::move(uuid)), m_name(std::move(name)),
      m_versionDescription(std::move(versionDescription))
{}

QString SimulatorApp::description() const
{
    return uuid() + QStringLiteral(": ") + m_name + QStringLiteral(".app (") +
           m_versionDescription + QLatin1Char(')');
}

bool SimulatorApp::isEqual(const SimulatorItem &other) const
{
    return dynamic_cast<const SimulatorApp *>(&other) && SimulatorItem::isEqual(other);
}
