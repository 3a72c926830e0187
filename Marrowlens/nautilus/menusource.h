// Context menus for Nautilus's menu provider. Main thread only.
//
// Nautilus 43 asks for the items of a context menu synchronously, on its main
// thread, when the menu is about to open. The program usually answers in
// about a millisecond, so the source asks it with a short timeout and shows
// a fresh answer. When the program does not answer in time the source stops
// waiting for a while and shows the last answer it had for the same
// selection (none the first time), refreshed in the background for the next
// opening.
#pragma once

#include "lenslink.h"

#include <nautilus-extension.h>

G_BEGIN_DECLS

typedef struct _MlensMenuSource MlensMenuSource;

// link is borrowed and must outlive the source.
MlensMenuSource *mlens_menu_source_new(MlensLink *link, int timeout_ms);
void mlens_menu_source_free(MlensMenuSource *source);

// The items for the selection (a list of NautilusFileInfo), or NULL.
GList *mlens_menu_source_items(MlensMenuSource *source, GList *files);
// Forgets every answer (the program went away).
void mlens_menu_source_forget(MlensMenuSource *source);

G_END_DECLS
