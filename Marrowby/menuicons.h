// The pictures of the menu: the status icon (a monochrome template drawn in
// the panel's text colour, so it follows light and dark panels), the booted
// and shut-down marks of device items, and app icons at menu size, cached by
// app so a rebuild does not draw them again.
//
// Threads: main thread (pixmaps).
#pragma once

#include "Marrowkit/model/simulatorapp.h"

#include <QColor>
#include <QHash>
#include <QIcon>

#include <utility>

namespace MenuIcons {

// The template image in `colour`, at `size` device-independent pixels.
QIcon statusIcon(const QColor &colour, int size = 22);
QIcon bootedMark();
QIcon shutdownMark();

} // namespace MenuIcons

class AppIconCache
{
public:
    // The app's icon at menu size; a null icon when the app has none.
    QIcon iconFor(const SimulatorApp &app);
    // Forgets icons not asked for since the last call.
    void pruneUnused();
    qsizetype size() const { return m_icons.size(); }

private:
    struct Entry
    {
        QIcon icon;
        bool used = true;
    };
    // By uuid and creation date: a reinstall gives the bundle container a
    // new date, and so a new key.
    QHash<std::pair<QString, qint64>, Entry> m_icons;
};
