// The pixel size a PNG states in its header, read without decoding anything:
// the eight-byte signature and the IHDR chunk that must come first.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QByteArray>
#include <QSize>

#include <optional>

// Bytes a caller must read from the start of a file for pngPixelSize().
inline constexpr int pngHeaderBytes = 24;

// The width and height in `head` (the file's first bytes, at least
// pngHeaderBytes of them); nothing when it is not a PNG or a side is 0 or
// beyond 2^31 - 1, as the format forbids.
MARROWKIT_EXPORT std::optional<QSize> pngPixelSize(const QByteArray &head);
