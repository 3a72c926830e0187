// The base of everything in the catalogue. An item is known by its uuid text
// alone: equality and hashing look at nothing else, everywhere in the system.
// Items are shared through std::shared_ptr and are not copied.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QHashFunctions>
#include <QString>

#include <memory>

class MARROWKIT_EXPORT SimulatorItem
{
public:
    explicit SimulatorItem(QString uuid) : m_uuid(std::move(uuid)) {}
    virtual ~SimulatorItem() = default;
    SimulatorItem(const SimulatorItem &) = delete;
    SimulatorItem &operator=(const SimulatorItem &) = delete;

    const QString &uuid() const { return m_uuid; }

    // "SimulatorItem[" + uuid + "]".
    virtual QString description() const;

    // True when `other` has the same uuid. Subclasses may narrow this (an app
    // equals only another app), never widen it.
    virtual bool isEqual(const SimulatorItem &other) const;

private:
    QString m_uuid;
};

using SimulatorItemPtr = std::shared_ptr<SimulatorItem>;

// Symmetric: both sides must accept the other, so that an app and a device
// with the same uuid are unequal whichever way round they are compared.
MARROWKIT_EXPORT bool operator==(const SimulatorItem &lhs, const SimulatorItem &rhs);

// Agrees with operator==: equal items have equal uuids.
MARROWKIT_EXPORT size_t qHash(const SimulatorItem &item, size_t seed = 0) noexcept;

// Equality and hashing of items held by pointer, by what they point to (for
// std::unordered_set and the like). Null equals only null.
struct MARROWKIT_EXPORT SimulatorItemPtrEqual
{
    bool operator()(const std::shared_ptr<const SimulatorItem> &lhs,
                    const std::shared_ptr<const SimulatorItem> &rhs) const;
};
struct MARROWKIT_EXPORT SimulatorItemPtrHash
{
    size_t operator()(const std::shared_ptr<const SimulatorItem> &item) const;
};
