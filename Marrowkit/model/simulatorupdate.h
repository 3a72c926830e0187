// One change update that the service pushes to its clients: what kind of
// change, and the items it concerns (apps, or proxies of devices).
//
// A value; copies share their items. Equal updates have the same type and
// items that print the same, and hash alike, so sets of updates drop
// repeats.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/model/simulatoritem.h"
#include "Marrowkit/model/simulatorupdatetype.h"

#include <QList>

class MARROWKIT_EXPORT SimulatorUpdate
{
public:
    SimulatorUpdate(SimulatorUpdateType type, QList<SimulatorItemPtr> items)
        : m_type(type), m_items(std::move(items))
    {}

    SimulatorUpdateType type() const { return m_type; }
    const QList<SimulatorItemPtr> &items() const { return m_items; }

    // The type's position (0 to 5) plus the text hash of the printed items.
    size_t hashValue() const;
    bool isEqual(const SimulatorUpdate &other) const;
    // "SimulatorUpdate(<type>, [<item descriptions>])".
    QString description() const;

private:
    // The items printed as a list of their descriptions.
    QString printedItems() const;

    SimulatorUpdateType m_type;
    QList<SimulatorItemPtr> m_items;
};

using SimulatorUpdatePtr = std::shared_ptr<SimulatorUpdate>;

inline bool operator==(const SimulatorUpdate &lhs, const SimulatorUpdate &rhs)
{
    return lhs.isEqual(rhs);
}

inline size_t qHash(const SimulatorUpdate &update, size_t seed = 0) noexcept
{
    return update.hashValue() ^ seed;
}
