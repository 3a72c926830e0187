// The volume's items Nautilus has asked about and still holds, and from
// them the folders shown. Main thread only.
//
// The extension API tells nothing about windows. A window showing a folder
// holds a NautilusFileInfo for each item in it and asks extension info for
// each, so a folder counts as shown from the first of its items asked about
// until the last of them is finalized. The folder's own object, as the
// current folder in get_background_items, counts as well (empty folders).
// Nautilus 43 keeps those objects long after a window left the folder, so
// this is only the fallback for when the windows' locations are unknown.
#pragma once

#include <nautilus-extension.h>

G_BEGIN_DECLS

typedef struct _MlensShownFiles MlensShownFiles;

// changed: the set of shown folders changed.
MlensShownFiles *mlens_shown_files_new(void (*changed)(gpointer data), gpointer data);
void mlens_shown_files_free(MlensShownFiles *shown);

// file, at path, is shown as an item of folder (NULL: of no folder that
// counts). Held weakly.
void mlens_shown_files_add_item(MlensShownFiles *shown, NautilusFileInfo *file, const char *path,
                                const char *folder);
// file, at path, is the current folder of a window.
void mlens_shown_files_add_folder(MlensShownFiles *shown, NautilusFileInfo *file, const char *path);

// The shown item at path, borrowed, or NULL.
NautilusFileInfo *mlens_shown_files_lookup(MlensShownFiles *shown, const char *path);
// The folders shown (borrowed strings) and the items (new references).
GPtrArray *mlens_shown_files_folders(MlensShownFiles *shown);
GPtrArray *mlens_shown_files_items(MlensShownFiles *shown);

G_END_DECLS
