// The GObject Nautilus instantiates from this module: an info provider that
// puts the extension program's badges on items of the volume as emblems, and
// a menu provider that builds context menus from the program's answer.
// Nautilus makes one instance at start-up and calls it on its main thread
// only; all state below is owned by that thread.
#pragma once

#include <nautilus-extension.h>

G_BEGIN_DECLS

#define MARROWLENS_TYPE_PROVIDER (marrowlens_provider_get_type())
G_DECLARE_FINAL_TYPE(MarrowlensProvider, marrowlens_provider, MARROWLENS, PROVIDER, GObject)

void marrowlens_provider_register(GTypeModule *module);

G_END_DECLS
