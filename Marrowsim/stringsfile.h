// Reads a localized strings table ("InfoPlist.strings"): a property list, or
// the plain text form of lines like  "CFBundleDisplayName" = "Name";  in
// UTF-8 or UTF-16. Malformed tables give nothing.
#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

std::optional<QVariantMap> readStringsTable(const QString &path);
