// Which Xcodes are installed, which one is selected, selecting another, and
// whether a Simulator application runs (and stopping it). Every answer comes
// from the developer tools' own programs (found with developerToolPath) and
// the system's ps and kill, run synchronously on the caller's thread.
// Missing programs, empty output and unreadable bundles give fewer answers
// (no installations, false, nothing), never errors.
//
// Cheap to make: callers make a new one for each question.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/devtools/xcodeversion.h"
#include "Marrowkit/foundation/box.h"
#include "Marrowkit/model/devicetype.h"

#include <QList>
#include <QString>

#include <optional>

// The in-process announcement that the user selected another Xcode; its user
// info carries the new XcodeVersion as a Box<XcodeVersion> under
// CurrentXcodeVersionKey.
MARROWKIT_EXPORT extern const QString
    XcodeVersionDidChangeNotification;                        // "XcodeVersionDidChangeNotification"
MARROWKIT_EXPORT extern const QString CurrentXcodeVersionKey; // "CurrentXcodeVersionKey"

class MARROWKIT_EXPORT DeveloperTools
{
public:
    DeveloperTools() = default;

    // Newest first; equal versions in no particular order.
    QList<XcodeVersion> installedXcodes() const;
    // The first installation marked selected, if any.
    std::optional<XcodeVersion> currentlySelectedXcode() const;
    // Runs `xcode-select -s <developer folder>` and answers whether it
    // succeeded. The stand-in's selection is per user, so no administrator
    // rights are asked for.
    bool setSelectedXcode(const XcodeVersion &xcode) const;

    // Whether any process runs ".../Applications/Simulator.app/Contents/MacOS/Simulator"
    // ("Simulator (Watch).app" for a watch type).
    bool isGuiSimulatorRunning(DeviceType deviceType) const;
    // Sends SIGTERM (kill -15) to each such process and waits (a few seconds
    // at most) for them to end, as they shut their devices down.
    void quitSimulatorIfRunning(DeviceType deviceType) const;

private:
    // The metadata query of the platform's search; made empty and not used:
    // the search is run through the mdfind program.
    struct MetadataQuery
    {
    };
    [[maybe_unused]] MetadataQuery m_query;
};
