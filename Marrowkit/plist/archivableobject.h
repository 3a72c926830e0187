// What the keyed archive knows about the objects it carries.
//
// The archive is a binary property list with "$archiver", "$version", "$top"
// and "$objects" ("$null" first). Texts, numbers, booleans and data are stored
// as themselves; every other object is a dictionary whose "$class" refers to a
// class record ("$classname", "$classes") and whose keys refer to their values
// by "CF$UID" references. Built-in classes:
//   Array       "items": references
//   Dictionary  each entry a key of the object referring to its value; keys
//               that begin with "$" are written with one more "$" in front
//   URL         "string": reference to the URL text
//   Date        "time": seconds since 1970-01-01 UTC (real, stored inline)
//   Image       "width", "height": size in points (reals, inline); "png": reference to PNG data
// Catalogue objects (devices, apps, updates) are written by their own encoders
// under their own class names.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QLatin1String>
#include <QMetaType>
#include <QStringList>

#include <functional>

class KeyedArchiver;

// A catalogue object on its way into an archive: its class chain (most
// derived first) and the function that writes its keys.
struct MARROWKIT_EXPORT ArchivableObject
{
    QStringList classes;
    std::function<void(KeyedArchiver &coder)> encode;
};

Q_DECLARE_METATYPE(ArchivableObject)

namespace KeyedArchive {

inline constexpr QLatin1String archiverName("NSKeyedArchiver");
inline constexpr qint64 version = 100000;
// Objects nested deeper than this are refused on writing and on reading.
inline constexpr int maximumDepth = 100;

// Names of the kinds of value the readers accept (see KeyedUnarchiver).
inline constexpr QLatin1String TextClass("Text");
inline constexpr QLatin1String NumberClass("Number");
inline constexpr QLatin1String BooleanClass("Boolean");
inline constexpr QLatin1String DataClass("Data");
inline constexpr QLatin1String ArrayClass("Array");
inline constexpr QLatin1String DictionaryClass("Dictionary");
inline constexpr QLatin1String URLClass("URL");
inline constexpr QLatin1String DateClass("Date");
inline constexpr QLatin1String ImageClass("Image");

// Every kind a property list can hold: what an info dictionary may contain.
inline QStringList propertyListClasses()
{
    return {TextClass,  NumberClass,     BooleanClass, DataClass,
            ArrayClass, DictionaryClass, DateClass};
}

} // namespace KeyedArchive
