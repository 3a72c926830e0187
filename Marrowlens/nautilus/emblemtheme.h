// The program's badge images as emblems of the user's icon theme: Nautilus
// finds an extension's emblem "x" as the themed icon "emblem-x", so each
// image is copied to $XDG_DATA_HOME/icons/hicolor/<size>/emblems/. The copy
// runs on a worker thread; the result is delivered in the caller's context.
#pragma once

#include <gio/gio.h>

G_BEGIN_DECLS

// The emblem name for a badge identifier ("Booted" → "marrowlens-booted"),
// or NULL for an empty identifier.
char *mlens_emblem_name(const char *identifier);

// badges: a(sss) as the program sends them (identifier, label, image path).
// The result is TRUE when a new or changed image was written, FALSE when the
// theme had them all already, FALSE with error set on failure.
void mlens_emblem_install_async(GVariant *badges, GCancellable *cancellable,
                                GAsyncReadyCallback callback, gpointer data);
gboolean mlens_emblem_install_finish(GAsyncResult *result, GError **error);

// The file an emblem's image is copied to, for the given pixel size.
char *mlens_emblem_file(const char *emblem_name, int size);

G_END_DECLS
