// A picture of the open status menu with one three-line item highlighted:
// waits for the catalogue, opens the menu, highlights the first app item
// (a recent app) and saves the menu's pixels as PNG once the item shows its
// lines. For the demo and the screenshot test.
//
// Threads: main thread; turns the event loop while it waits.
#pragma once

#include <QString>

#include <chrono>

class StatusItemController;
class ParleyConnector;

namespace MenuScreenshot {

// Empty on success, else what went wrong.
QString capture(StatusItemController &controller, ParleyConnector &connector,
                const QString &pngPath, std::chrono::milliseconds timeout);

} // namespace MenuScreenshot
