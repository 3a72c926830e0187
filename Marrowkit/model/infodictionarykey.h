// The info-dictionary keys the app model reads.
#pragma once

#include <QLatin1String>

namespace InfoDictionaryKey {

inline constexpr QLatin1String BundleDisplayName("CFBundleDisplayName");
inline constexpr QLatin1String BundleName("CFBundleName");
inline constexpr QLatin1String BundleIdentifier("CFBundleIdentifier");
inline constexpr QLatin1String BundleVersion("CFBundleVersion");
inline constexpr QLatin1String BundleShortVersionString("CFBundleShortVersionString");
inline constexpr QLatin1String BundleIcons("CFBundleIcons");
inline constexpr QLatin1String BundleIconsIPad("CFBundleIcons~ipad");
inline constexpr QLatin1String BundlePrimaryIcon("CFBundlePrimaryIcon");
inline constexpr QLatin1String BundleIconFiles("CFBundleIconFiles");
// Added by the builder of an app: the identifiers of its app groups.
inline constexpr QLatin1String AppGroups("appGroups");

} // namespace InfoDictionaryKey
