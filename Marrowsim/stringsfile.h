// Reads a localized strings table ("InfoPlist.strings"): a property list, or
// the plain text form of lines like  "CFBundleDisplayName" = "Name";  in
// UTF-8 or UTF-16. Malformed tables give nothing.
#pragma once

#include "Marrowsim/marrowsim_export.h"

#include <QString>
#include <QVariantMap>

#include <optional>

MARROWSIM_TESTABLE std::optional<QVariantMap> readStringsTable(const QString &path);
