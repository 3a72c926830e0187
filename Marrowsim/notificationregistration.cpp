#include "notificationregistration.h"

#include <QScopeGuard>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// One registration while it lasts. The framework is handed the
// registration's number, never a pointer, so a late call finds nothing
// rather than freed memory.
struct Slot
{
    const SimDeviceSetClass *setClass = nullptr;
    SimDeviceSetObject *set = nullptr; // one reference of our own
    const SimDeviceClass *deviceClass = nullptr;
    NotificationRegistration::Handler handler;

    std::mutex mutex; // guards the fields below
    std::condition_variable idle;
    std::uint64_t frameworkRegistration = 0;
    bool armed = true;
    std::vector<std::thread::id> running; // threads inside the handler
};

struct Registry
{
    std::mutex mutex; // guards slots and nextId; a leaf
    std::unordered_map<std::uint64_t, std::shared_ptr<Slot>> slots;
    std::uint64_t nextId = 1;
};

Registry &registry()
{
    static auto *r = new Registry; // framework threads may call in during exit
    return *r;
}

// The number travels as the framework's context pointer; it is never
// dereferenced, only turned back into the number.
void *contextFor(std::uint64_t id)
{
    return reinterpret_cast<void *>( // NOLINT(performance-no-int-to-ptr)
        static_cast<std::uintptr_t>(id));
}

std::shared_ptr<Slot> slotFor(std::uint64_t id)
{
    std::lock_guard lock(registry().mutex);
    const auto found = registry().slots.find(id);
    return found == registry().slots.end() ? nullptr : found->second;
}

std::shared_ptr<Slot> takeSlot(std::uint64_t id)
{
    std::lock_guard lock(registry().mutex);
    const auto found = registry().slots.find(id);
    if (found == registry().slots.end()) {
        return nullptr;
    }
    std::shared_ptr<Slot> slot = std::move(found->second);
    registry().slots.erase(found);
    return slot;
}

void deliver(const SimNotification *raw, void *context)
{
    const std::shared_ptr<Slot> slot =
        slotFor(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(context)));
    if (!slot || !raw) {
        return;
    }
    {
        std::lock_guard lock(slot->mutex);
        if (!slot->armed) {
            return;
        }
        slot->running.push_back(std::this_thread::get_id());
    }
    const auto leave = qScopeGuard([&slot] {
        {
            std::lock_guard lock(slot->mutex);
            auto &running = slot->running;
            running.erase(std::find(running.begin(), running.end(), std::this_thread::get_id()));
        }
        slot->idle.notify_all();
    });
    SimulatorNotification notification;
    if (raw->notification) {
        notification.notification = QString::fromUtf8(raw->notification);
    }
    notification.device = SimDeviceHandle::retain(slot->deviceClass, raw->device);
    if (raw->has_new_state) {
        notification.newState = raw->new_state;
    }
    slot->handler(notification);
}

// Disarms the slot, waits until no other thread is inside its handler, and
// takes it back from the framework.
void finish(const std::shared_ptr<Slot> &slot)
{
    std::uint64_t frameworkRegistration = 0;
    {
        std::unique_lock lock(slot->mutex);
        slot->armed = false;
        const auto self = std::this_thread::get_id();
        slot->idle.wait(lock, [&slot, self] {
            return std::all_of(slot->running.begin(), slot->running.end(),
                               [self](std::thread::id thread) { return thread == self; });
        });
        frameworkRegistration = std::exchange(slot->frameworkRegistration, 0);
    }
    if (frameworkRegistration && slot->setClass->unregisterNotificationHandler) {
        slot->setClass->unregisterNotificationHandler(slot->set, frameworkRegistration);
    }
    slot->setClass->release(slot->set);
}

} // namespace

NotificationRegistration NotificationRegistration::start(const SimDeviceSetClass *setClass,
                                                         SimDeviceSetObject *set,
                                                         const SimDeviceClass *deviceClass,
                                                         Handler handler)
{
    if (!setClass || !set || !deviceClass || !handler || !setClass->registerNotificationHandler) {
        return {};
    }
    auto slot = std::make_shared<Slot>();
    slot->setClass = setClass;
    slot->set = set;
    slot->deviceClass = deviceClass;
    slot->handler = std::move(handler);
    setClass->retain(set); // the slot's own, given back by finish()
    // One more for the rest of this call: endAll() may finish the slot at any
    // moment from here on.
    setClass->retain(set);
    const auto releaseOurs = qScopeGuard([setClass, set] { setClass->release(set); });
    std::uint64_t id = 0;
    {
        std::lock_guard lock(registry().mutex);
        id = registry().nextId++;
        registry().slots.emplace(id, slot);
    }
    // Outside every lock of ours: the framework may call back at once.
    const std::uint64_t frameworkRegistration =
        setClass->registerNotificationHandler(set, &deliver, contextFor(id));
    if (frameworkRegistration == 0) {
        if (takeSlot(id)) {
            finish(slot);
        }
        return {};
    }
    bool endedMeanwhile = false;
    {
        std::lock_guard lock(slot->mutex);
        if (slot->armed) {
            slot->frameworkRegistration = frameworkRegistration;
        } else {
            endedMeanwhile = true; // endAll() came first and could not unregister it
        }
    }
    if (endedMeanwhile && setClass->unregisterNotificationHandler) {
        setClass->unregisterNotificationHandler(set, frameworkRegistration);
    }
    return NotificationRegistration(id);
}

void NotificationRegistration::endAll()
{
    std::vector<std::shared_ptr<Slot>> slots;
    {
        std::lock_guard lock(registry().mutex);
        for (auto &[id, slot] : registry().slots) {
            slots.push_back(std::move(slot));
        }
        registry().slots.clear();
    }
    for (const auto &slot : slots) {
        finish(slot);
    }
}

NotificationRegistration::~NotificationRegistration()
{
    end();
}

NotificationRegistration::NotificationRegistration(NotificationRegistration &&other) noexcept
    : m_id(std::exchange(other.m_id, 0))
{}

NotificationRegistration &
NotificationRegistration::operator=(NotificationRegistration &&other) noexcept
{
    if (this != &other) {
        end();
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void NotificationRegistration::end()
{
    if (const auto slot = takeSlot(std::exchange(m_id, 0))) {
        finish(slot);
    }
}

bool NotificationRegistration::isActive() const
{
    return m_id != 0 && slotFor(m_id) != nullptr;
}
