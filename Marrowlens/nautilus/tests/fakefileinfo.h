// A stand-in for Nautilus's file objects: NautilusFileInfo is an interface,
// so a small GObject can play a file of the volume. It records the emblems
// an extension adds and how often its extension info was invalidated.
// Main thread only, like Nautilus's own.
#pragma once

#include <nautilus-extension.h>

G_BEGIN_DECLS

#define FAKE_TYPE_FILE_INFO (fake_file_info_get_type())
G_DECLARE_FINAL_TYPE(FakeFileInfo, fake_file_info, FAKE, FILE_INFO, GObject)

FakeFileInfo *fake_file_info_new(const char *path, gboolean is_directory);
// The emblems added since the last invalidation, NULL-terminated.
const char *const *fake_file_info_emblems(FakeFileInfo *file);
guint fake_file_info_invalidations(FakeFileInfo *file);
// Called after each invalidation, as Nautilus then asks for the info again.
void fake_file_info_on_invalidated(FakeFileInfo *file, void (*hook)(FakeFileInfo *, gpointer),
                                   gpointer data);

// A provider made from a module file the way Nautilus makes it: the module
// is opened by a GTypeModule, initialized, and its first listed type
// instantiated. NULL when the module lacks an entry point.
GObject *fake_load_provider(const char *module_path);

G_END_DECLS
