// Text for other programs to paste.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>

// Makes `text` the clipboard's only content, as plain text. True when the
// clipboard holds it afterwards. The clipboard belongs to the main thread:
// from another thread this waits for the main thread to do the work, so the
// main thread must not be waiting for the caller. False without a GUI
// application.
MARROWKIT_EXPORT bool writeString(const QString &text);
