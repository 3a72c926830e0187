// Which folders the file manager's windows show, read from the file manager
// interface Nautilus exports for its own process: the property
// OpenWindowsWithLocations of org.freedesktop.FileManager1 maps each
// window's object path to the locations of its tabs. Main thread only.
//
// Only trusted when this very process owns org.freedesktop.FileManager1:
// another file manager owning it says nothing about our windows.
#pragma once

#include <glib.h>

G_BEGIN_DECLS

typedef struct _MlensWindowLocations MlensWindowLocations;

MlensWindowLocations *mlens_window_locations_new(void (*changed)(gpointer data), gpointer data);
void mlens_window_locations_free(MlensWindowLocations *locations);

// The windows' locations are known.
gboolean mlens_window_locations_available(MlensWindowLocations *locations);
// The local paths the windows show (borrowed strings).
GPtrArray *mlens_window_locations_folders(MlensWindowLocations *locations);
// The object paths of the windows showing path (borrowed strings).
GPtrArray *mlens_window_locations_windows_showing(MlensWindowLocations *locations,
                                                  const char *path);
// The bus name the windows' actions are reached at.
const char *mlens_window_locations_owner(MlensWindowLocations *locations);

G_END_DECLS
