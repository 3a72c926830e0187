#include "simdevicehandle.h"

#include "frameworkloader.h"

#include <cstdlib>
#include <utility>

void freeFrameworkMemory(void *pointer)
{
    if (!pointer) {
        return;
    }
    // The framework is loaded at run time, so its free function is too; it
    // stays mapped once loaded, and hands out malloc'ed memory regardless.
    using FreeFunction = void (*)(void *);
    if (auto release =
            reinterpret_cast<FreeFunction>(FrameworkLoader::symbol("CoreSimulatorFree"))) {
        release(pointer);
    } else {
        std::free(pointer);
    }
}

std::optional<QString> takeFrameworkText(char *text)
{
    if (!text) {
        return std::nullopt;
    }
    QString value = QString::fromUtf8(text);
    freeFrameworkMemory(text);
    return value;
}

SimDeviceHandle SimDeviceHandle::adopt(const SimDeviceClass *cls, SimDeviceObject *object)
{
    return SimDeviceHandle(cls, object);
}

SimDeviceHandle SimDeviceHandle::retain(const SimDeviceClass *cls, SimDeviceObject *object)
{
    SimDeviceHandle handle(cls, object);
    if (!handle.isNull()) {
        cls->retain(object);
    }
    return handle;
}

SimDeviceHandle::SimDeviceHandle(const SimDeviceHandle &other)
    : m_class(other.m_class), m_object(other.m_object)
{
    if (m_object) {
        m_class->retain(m_object);
    }
}

SimDeviceHandle &SimDeviceHandle::operator=(const SimDeviceHandle &other)
{
    SimDeviceHandle copy(other);
    std::swap(m_class, copy.m_class);
    std::swap(m_object, copy.m_object);
    return *this;
}

SimDeviceHandle::SimDeviceHandle(SimDeviceHandle &&other) noexcept
    : m_class(std::exchange(other.m_class, nullptr)),
      m_object(std::exchange(other.m_object, nullptr))
{}

SimDeviceHandle &SimDeviceHandle::operator=(SimDeviceHandle &&other) noexcept
{
    std::swap(m_class, other.m_class);
    std::swap(m_object, other.m_object);
    return *this;
}

SimDeviceHandle::~SimDeviceHandle()
{
    if (m_object) {
        m_class->release(m_object);
    }
}

bool SimDeviceHandle::respondsToSelector(const char *selector) const
{
    return m_object && m_class->respondsToSelector &&
           m_class->respondsToSelector(m_object, selector) != 0;
}

std::optional<QString> SimDeviceHandle::text(char *(*message)(SimDeviceObject *),
                                             const char *selector) const
{
    if (!m_object || !message || (selector && !respondsToSelector(selector))) {
        return std::nullopt;
    }
    return takeFrameworkText(message(m_object));
}

std::optional<QString> SimDeviceHandle::udid() const
{
    return m_class ? text(m_class->UDID, "UDID") : std::nullopt;
}

std::optional<QString> SimDeviceHandle::name() const
{
    return m_class ? text(m_class->name, "name") : std::nullopt;
}

std::optional<qint64> SimDeviceHandle::state() const
{
    if (!m_object || !m_class->state) {
        return std::nullopt;
    }
    return m_class->state(m_object);
}

std::optional<QString> SimDeviceHandle::deviceTypeName() const
{
    return m_class ? text(m_class->deviceTypeName, nullptr) : std::nullopt;
}

std::optional<QString> SimDeviceHandle::runtimeVersionString() const
{
    return m_class ? text(m_class->runtimeVersionString, nullptr) : std::nullopt;
}

std::optional<QString> SimDeviceHandle::runtimeBuildVersionString() const
{
    return m_class ? text(m_class->runtimeBuildVersionString, nullptr) : std::nullopt;
}

std::optional<QString> SimDeviceHandle::dataPath() const
{
    return m_class ? text(m_class->dataPath, nullptr) : std::nullopt;
}

std::optional<QString> SimDeviceHandle::devicePath() const
{
    return m_class ? text(m_class->devicePath, nullptr) : std::nullopt;
}
