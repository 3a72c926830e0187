// The variable part of the status menu as plain rows: what sits above the
// About item for a given catalogue and Xcode selection. The widgets turn
// the rows into menu items; tests and the benchmark read them directly.
//
// Threads: pure functions; called on the main thread.
#pragma once

#include "Marrowkit/devtools/xcodeversion.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QList>
#include <QString>

#include <optional>

struct StatusMenuRow
{
    enum class Kind {
        Waiting, // disabled message before the first catalogue
        Separator,
        Message,         // disabled text
        OpenPreferences, // enabled text that opens the preferences
        Header,          // disabled section title
        RecentApp,
        Device,
    };
    Kind kind = Kind::Separator;
    QString text;
    SimulatorDevicePtr device;
    SimulatorAppPtr app;
};

struct XcodeSelection
{
    std::optional<XcodeVersion> selected;
    qsizetype installedCount = 0;
};

// The first installed Xcode marked selected, and how many are installed.
XcodeSelection xcodeSelectionFrom(const QList<XcodeVersion> &installed);

// The three apps of all devices with the latest creation dates, newest first.
QList<SimulatorAppPtr> recentApps(const QList<SimulatorDevicePtr> &devices);

// Rows from the top of the menu down to the separator that ends the variable
// part. `devices` is nothing while the catalogue is unknown.
QList<StatusMenuRow> variableMenuRows(const std::optional<QList<SimulatorDevicePtr>> &devices,
                                      const XcodeSelection &xcodes);
