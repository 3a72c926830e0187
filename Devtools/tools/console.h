// Standard output and error of the tools, in UTF-8, one line at a time.
#pragma once

#include <QString>

namespace Console {

void out(const QString &line);
void err(const QString &line);
// Prints `line` on standard error and returns `status` (for `return fail(...)`).
int fail(const QString &line, int status = 1);

} // namespace Console
