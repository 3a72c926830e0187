// Reading and inspecting files of the device set and the profiles, which
// anyone may have planted links, FIFOs or device files in: nothing here
// follows a link at the last path component, blocks on a FIFO or reads more
// than the caller's limit.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace SafeFile {

// The whole of a regular file of at most `sizeLimit` bytes. A link, FIFO,
// device, socket or folder at `path`, or a larger file, gives nothing and a
// reason.
std::optional<QByteArray> read(const QString &path, qint64 sizeLimit, QString *error = nullptr);

// The first `count` bytes (fewer when the file is shorter) of a regular file,
// with the same refusals as read() but for a final link when
// `followFinalLink` (for a file someone named on the command line).
std::optional<QByteArray> readHead(const QString &path, qint64 count, bool followFinalLink = false,
                                   QString *error = nullptr);

// Whether `path` is a folder itself, not a link to one.
bool isRealFolder(const QString &path);
// Whether `base`/`relative` and every folder between them is a real folder
// (`base` itself may be reached through links).
bool isRealFolderBelow(const QString &base, const QString &relative);
// The same for the parts that exist: true when making the missing ones
// (mkpath) would not go through a link.
bool hasNoLinkBelow(const QString &base, const QString &relative);
// Whether anything (also a dangling link) is at `path`.
bool existsWithoutFollowing(const QString &path);

} // namespace SafeFile
