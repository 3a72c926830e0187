// A counted reference to one device object of the simulator framework, with
// the few messages the control library sends it. Copies retain, destruction
// releases. Texts come back as Qt values (nothing when the device has none).
//
// A handle made without the object's class (the framework that made the
// object is no longer loaded) is a null handle: every message answers
// nothing or false, and destroying it sends nothing.
#pragma once

#include "Marrowsim/marrowsim_export.h"

#include "coresimulator.h"

#include <QString>

#include <optional>

class MARROWSIM_TESTABLE SimDeviceHandle
{
public:
    SimDeviceHandle() = default;
    // Takes over one reference the framework handed out. Without a class the
    // reference cannot be given back, and is left to the framework.
    static SimDeviceHandle adopt(const SimDeviceClass *cls, SimDeviceObject *object);
    // Adds a reference of its own to a borrowed object.
    static SimDeviceHandle retain(const SimDeviceClass *cls, SimDeviceObject *object);

    SimDeviceHandle(const SimDeviceHandle &other);
    SimDeviceHandle &operator=(const SimDeviceHandle &other);
    SimDeviceHandle(SimDeviceHandle &&other) noexcept;
    SimDeviceHandle &operator=(SimDeviceHandle &&other) noexcept;
    ~SimDeviceHandle();

    bool isNull() const { return !m_object; }
    bool respondsToSelector(const char *selector) const;

    std::optional<QString> udid() const;
    std::optional<QString> name() const;
    std::optional<qint64> state() const;
    std::optional<QString> deviceTypeName() const;
    std::optional<QString> runtimeVersionString() const;
    std::optional<QString> runtimeBuildVersionString() const;
    std::optional<QString> dataPath() const;
    std::optional<QString> devicePath() const;

    const SimDeviceClass *deviceClass() const { return m_class; }
    SimDeviceObject *object() const { return m_object; }

private:
    // Both or neither: a handle never holds an object without its class.
    SimDeviceHandle(const SimDeviceClass *cls, SimDeviceObject *object)
        : m_class(cls && object ? cls : nullptr), m_object(cls ? object : nullptr)
    {}
    // `selector`, when given, must be answered before the message is sent.
    std::optional<QString> text(char *(*message)(SimDeviceObject *), const char *selector) const;

    const SimDeviceClass *m_class = nullptr;
    SimDeviceObject *m_object = nullptr;
};

// Frees memory the framework handed out (texts, arrays).
void freeFrameworkMemory(void *pointer);
// Takes a text the framework returned and frees it.
std::optional<QString> takeFrameworkText(char *text);
