// The folders the extension program has been told are observed, kept equal
// to the set the windows show. Main thread only.
//
// A folder that appears is begun at once; one that disappears is ended
// after a grace period, so that a window going from a folder to its
// subfolder does not make the program drop its service connection (which it
// does when nothing is observed) just to make a new one.
#pragma once

#include <glib.h>

G_BEGIN_DECLS

typedef struct
{
    void (*begin)(const char *folder, gpointer data);
    void (*end)(const char *folder, gpointer data);
} MlensObservedEvents;

typedef struct _MlensObservedFolders MlensObservedFolders;

MlensObservedFolders *mlens_observed_folders_new(const MlensObservedEvents *events, gpointer data,
                                                 guint end_grace_ms);
// Ends nothing: the program learns of a file manager going away by itself.
void mlens_observed_folders_free(MlensObservedFolders *observed);

// The folders now shown (strings borrowed for the call).
void mlens_observed_folders_update(MlensObservedFolders *observed, GPtrArray *folders);
gboolean mlens_observed_folders_contains(MlensObservedFolders *observed, const char *folder);
// Every folder told to the program and not ended (borrowed strings).
GPtrArray *mlens_observed_folders_list(MlensObservedFolders *observed);

G_END_DECLS
