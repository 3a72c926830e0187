// The simulator control library as the service shares it: the controller of
// the developer folder selected at start (absent without one) behind one
// lock, because the rescans of the main thread and the actions of every
// client's queue all call into it.
//
// Threads: any; every use of the controller holds the lock.
#pragma once

#include "Marrowsim/marrowsimcontroller.h"

#include <functional>
#include <memory>
#include <mutex>

class SimulatorControl
{
public:
    explicit SimulatorControl(std::unique_ptr<MarrowsimController> controller)
        : m_controller(std::move(controller))
    {}

    bool hasController() const { return m_controller != nullptr; }

    // Calls `use` with the controller under the lock; `otherwise` when
    // there is none.
    template<typename R> R with(const std::function<R(MarrowsimController &)> &use, R otherwise)
    {
        const std::lock_guard lock(m_mutex);
        return m_controller ? use(*m_controller) : otherwise;
    }

private:
    std::mutex m_mutex;
    std::unique_ptr<MarrowsimController> m_controller;
};

using SimulatorControlPtr = std::shared_ptr<SimulatorControl>;
