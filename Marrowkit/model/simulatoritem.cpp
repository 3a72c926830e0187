#include "Marrowkit/model/simulatoritem.h"

QString SimulatorItem::description() const
{
    return QStringLiteral("SimulatorItem[") + m_uuid + QLatin1Char(']');
}

bool SimulatorItem::isEqual(const SimulatorItem &other) const
{
    return m_uuid == other.m_uuid;
}

bool operator==(const SimulatorItem &lhs, const SimulatorItem &rhs)
{
    return lhs.isEqual(rhs) && rhs.isEqual(lhs);
}

size_t qHash(const SimulatorItem &item, size_t seed) noexcept
{
    return qHash(item.uuid(), seed);
}

bool SimulatorItemPtrEqual::operator()(const std::shared_ptr<const SimulatorItem> &lhs,
                                       const std::shared_ptr<const SimulatorItem> &rhs) const
{
    if (!lhs || !rhs) {
        return !lhs && !rhs;
    }
    return *lhs == *rhs;
}

size_t SimulatorItemPtrHash::operator()(const std::shared_ptr<const SimulatorItem> &item) const
{
    return item ? qHash(*item) : 0;
}
