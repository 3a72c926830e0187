// Paths of the volume as the shim sees them: absolute local paths, compared
// component by component, because the mount point is the user's choice.
// Plain functions without state; callable from any thread.
#pragma once

#include <nautilus-extension.h>

G_BEGIN_DECLS

// The local path of the item, without a trailing slash, or NULL for items
// that are not local files (trash, recent, network locations).
char *mlens_path_of_file(NautilusFileInfo *file);

// The path without its last component; NULL for "/".
char *mlens_path_parent(const char *path);

// TRUE when path is root or lies below it.
gboolean mlens_path_is_at_or_below(const char *path, const char *root);

// TRUE when path is at or below one of roots (a NULL-terminated list).
gboolean mlens_path_is_within(const char *path, const char *const *roots);

// A clean copy of an absolute path that came over the bus: a single slash
// between components, no trailing slash; NULL when it is not absolute or
// holds "." or ".." components.
char *mlens_path_normalized(const char *path);

G_END_DECLS
