// The volume's items Nautilus currently shows, and from them the folders its
// windows observe. Main thread only.
//
// Nautilus 43 tells an extension nothing about windows. A window showing a
// folder keeps a NautilusFileInfo for each item in it, and asks extension
// info for each; when the window leaves the folder, those objects are
// finalized. So a folder is observed from the first of its items asked
// about until the last of them is gone. The folder's own object, as the
// window's current folder in get_background_items, counts as well, which
// covers empty folders once they were right-clicked. An end waits a grace
// period, so a window going from a folder to its subfolder and back does not
// make the program drop and remake its service connection.
#pragma once

#include <nautilus-extension.h>

G_BEGIN_DECLS

typedef struct
{
    void (*begin)(const char *folder, gpointer data);
    void (*end)(const char *folder, gpointer data);
} MlensShownEvents;

typedef struct _MlensShownFiles MlensShownFiles;

MlensShownFiles *mlens_shown_files_new(const MlensShownEvents *events, gpointer data,
                                       guint end_grace_ms);
void mlens_shown_files_free(MlensShownFiles *shown);

// file, at path, is shown as an item of folder (NULL: of no folder that
// counts). Held weakly.
void mlens_shown_files_add_item(MlensShownFiles *shown, NautilusFileInfo *file, const char *path,
                                const char *folder);
// file, at path, is the current folder of a window.
void mlens_shown_files_add_folder(MlensShownFiles *shown, NautilusFileInfo *file, const char *path);

// The shown item at path, borrowed, or NULL.
NautilusFileInfo *mlens_shown_files_lookup(MlensShownFiles *shown, const char *path);
gboolean mlens_shown_files_is_observed(MlensShownFiles *shown, const char *folder);
// The observed folders (borrowed strings) and the shown items (new
// references), for when the program starts again.
GPtrArray *mlens_shown_files_observed(MlensShownFiles *shown);
GPtrArray *mlens_shown_files_items(MlensShownFiles *shown);

G_END_DECLS
