// Makes the file manager's windows read their folders again. Main thread.
//
// The kernel reports no change made behind a FUSE mount, so Nautilus's
// directory monitors stay silent when the real folders behind the volume
// change. Nautilus 43 gives extensions no call to reload a folder; its
// windows do have the action "reload" (F5), and GtkApplication exports each
// window's actions on the bus at <application path>/window/<id>. The
// reloader activates that action through the bus: in the windows named, or,
// when it is not known which windows show what, in every window of the
// default GApplication. Requests are merged: at most one round per delay.
#pragma once

#include <glib.h>

G_BEGIN_DECLS

typedef struct _MlensWindowReloader MlensWindowReloader;

MlensWindowReloader *mlens_window_reloader_new(guint delay_ms);
void mlens_window_reloader_free(MlensWindowReloader *reloader);
// Reloads the windows at the object paths given, at bus name owner, within
// delay_ms.
void mlens_window_reloader_request(MlensWindowReloader *reloader, const char *owner,
                                   GPtrArray *windows);
// Reloads every window of this process's application within delay_ms.
void mlens_window_reloader_request_all(MlensWindowReloader *reloader);

G_END_DECLS
