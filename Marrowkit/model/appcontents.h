// Names for the parts of an app, used as keys and labels by the virtual
// volume and the file-manager extension.
#pragma once

#include <QLatin1String>

namespace AppContents {

inline constexpr QLatin1String BundleURLKey("Bundle");
inline constexpr QLatin1String SandboxURLKey("Sandbox");
inline constexpr QLatin1String AppGroupURLKey("App Group");
inline constexpr QLatin1String AppGroupsURLKey("App Groups");

} // namespace AppContents
