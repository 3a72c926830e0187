#include "Marrowkit/model/simulatorupdate.h"

#include "Marrowkit/foundation/describe.h"

size_t SimulatorUpdate::hashValue() const
{
    return size_t(::hashValue(m_type)) + qHash(printedItems());
}

// Equal hash values alone would let two different updates that happen to
// collide count as one, and a set would drop one of them; so the type and
// the printed items are compared themselves, which implies equal hashes.
bool SimulatorUpdate::isEqual(const SimulatorUpdate &other) const
{
    return m_type == other.m_type && printedItems() == other.printedItems();
}

QString SimulatorUpdate::description() const
{
    return QStringLiteral("SimulatorUpdate(") + ::description(m_type) + QStringLiteral(", ") +
           printedItems() + QLatin1Char(')');
}

QString SimulatorUpdate::printedItems() const
{
    return describe(m_items);
}
