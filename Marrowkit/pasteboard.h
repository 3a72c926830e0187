// Text for other programs to paste.
#pragma once

#include <QString>

// Makes `text` the clipboard's only content, as plain text. True when the
// clipboard holds it afterwards. The clipboard belongs to the main thread:
// from another thread this waits for the main thread to do the work, so the
// main thread must not be waiting for the caller. False without a GUI
// application.
bool writeString(const QString &text);
