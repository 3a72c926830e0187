// The shim's side of the bus contract with the extension program
// (dev.marrowby.marrowby.Marrowlens at /FinderSync). Lives on the thread
// that made it, Nautilus's main thread: the proxy delivers its signals into
// that thread's main context and every call here is made from it.
//
// Nothing here waits for the program except mlens_link_menu_sync, whose
// timeout the caller chooses. The link survives the program's absence: the
// proxy follows the name's owner, and a call to a name without owner makes
// the bus start the program again.
#pragma once

#include "menuanswer.h"

#include <gio/gio.h>

G_BEGIN_DECLS

#define MLENS_BUS_NAME "dev.marrowby.marrowby.Marrowlens"
#define MLENS_OBJECT_PATH "/FinderSync"
#define MLENS_INTERFACE "dev.marrowby.marrowby.Marrowlens.FinderSync"

typedef struct
{
    // The folders the program wants to hear about changed (or became known).
    void (*paths_changed)(gpointer data);
    // The program appeared on the bus or went away.
    void (*owner_changed)(gboolean present, gpointer data);
    // A badge was set; an empty identifier removes it.
    void (*badge_changed)(const char *path, const char *identifier, gpointer data);
    void (*file_system_changed)(const char *path, gpointer data);
    // A badge image newly became an icon of the user's theme, and the
    // theme has been read again since.
    void (*emblems_installed)(gpointer data);
} MlensLinkEvents;

typedef struct _MlensLink MlensLink;
typedef void (*MlensMenuCallback)(MlensMenuAnswer *answer, gpointer data);

MlensLink *mlens_link_new(const MlensLinkEvents *events, gpointer data);
void mlens_link_free(MlensLink *link);

// The program owns its name right now.
gboolean mlens_link_is_present(MlensLink *link);

// The folders of the volume, NULL-terminated; empty until the program first
// answered. Kept while the program is away so that a request for an item of
// the volume can start it again.
const char *const *mlens_link_directory_paths(MlensLink *link);

// What the program last said about the badge of path: TRUE with identifier
// set (possibly empty) when known.
gboolean mlens_link_cached_badge(MlensLink *link, const char *path, const char **identifier);

// Fire-and-forget calls of the contract.
void mlens_link_request_badge(MlensLink *link, const char *path);
void mlens_link_begin_observing(MlensLink *link, const char *path);
void mlens_link_end_observing(MlensLink *link, const char *path);
void mlens_link_perform_action(MlensLink *link, const char *action, const char *const *paths);

// Asks for a menu and waits at most timeout_ms; NULL on timeout, error or a
// malformed answer. *timed_out tells the first case apart.
MlensMenuAnswer *mlens_link_menu_sync(MlensLink *link, int kind, const char *const *paths,
                                      int timeout_ms, gboolean *timed_out);
// The same without waiting; callback gets NULL on failure. The callback is
// not run after mlens_link_free.
void mlens_link_menu_async(MlensLink *link, int kind, const char *const *paths,
                           MlensMenuCallback callback, gpointer data);

G_END_DECLS
