// Recognises photo files by their first bytes, not by their names.
#pragma once

#include <QString>

namespace ImageType {

// "PNG", "JPG", "GIF", "TIF" or "HEIC"; empty for anything else (or an
// unreadable file).
QString ofFile(const QString &path);
QString ofData(const QByteArray &head);

} // namespace ImageType
