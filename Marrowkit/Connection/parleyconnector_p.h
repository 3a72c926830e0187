// What the connector shares with its boot-then-act waits on the
// user-initiated queue: the booted devices, written by the main thread.
#pragma once

#include "Marrowkit/Connection/parleyconnector.h"

#include <QSet>
#include <QString>

#include <mutex>

struct ParleyConnector::BootStates
{
    std::mutex mutex; // guards everything below
    QSet<QString> booted;
    bool connectorGone = false;
};
