// Badges as emblems, observation, refresh and menus, wired to the program.
//
// update_file_info never waits: it answers from what the program said
// before, or returns NAUTILUS_OPERATION_IN_PROGRESS and completes when the
// badge arrives or after a short timeout with nothing. A badge that changes
// later invalidates the item's extension info, so Nautilus asks again and
// gets the new answer at once.
#include "lensprovider.h"

#include "emblemtheme.h"
#include "lenslink.h"
#include "menusource.h"
#include "observedfolders.h"
#include "shownfiles.h"
#include "volumepaths.h"
#include "windowlocations.h"
#include "windowreloader.h"

enum {
    BadgeTimeoutMs = 500,
    MenuTimeoutMs = 40,
    EndGraceMs = 1500,
    ReloadDelayMs = 250,
    MaxRemembered = 20000,
};

struct _MarrowlensProvider
{
    GObject parent_instance;
    MlensLink *m_link;
    MlensShownFiles *m_shown;
    MlensWindowLocations *m_locations;
    MlensObservedFolders *m_observed;
    MlensMenuSource *m_menus;
    MlensWindowReloader *m_reloader;
    GPtrArray *m_pending;      // of Pending, waiting for a badge
    GHashTable *m_unanswered;  // paths the program left without a badge
    GPtrArray *m_before_paths; // GWeakRef* to items asked before the volume was known
};

typedef struct
{
    MarrowlensProvider *m_provider;
    NautilusFileInfo *m_file;
    char *m_path;
    GClosure *m_complete;
    guint m_timeout;
} Pending;

static void info_provider_init(NautilusInfoProviderInterface *iface);
static void menu_provider_init(NautilusMenuProviderInterface *iface);

G_DEFINE_DYNAMIC_TYPE_EXTENDED(
    MarrowlensProvider, marrowlens_provider, G_TYPE_OBJECT, G_TYPE_FLAG_FINAL,
    G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_INFO_PROVIDER, info_provider_init)
        G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_MENU_PROVIDER, menu_provider_init))

void marrowlens_provider_register(GTypeModule *module)
{
    marrowlens_provider_register_type(module);
}

static void add_emblem(NautilusFileInfo *file, const char *identifier)
{
    g_autofree char *emblem = mlens_emblem_name(identifier);
    if (emblem != NULL)
        nautilus_file_info_add_emblem(file, emblem);
}

static void pending_free(Pending *pending)
{
    if (pending->m_timeout != 0)
        g_source_remove(pending->m_timeout);
    g_closure_unref(pending->m_complete);
    g_object_unref(pending->m_file);
    g_free(pending->m_path);
    g_free(pending);
}

// Completes and forgets pending; identifier NULL or empty: no emblem.
static void complete(Pending *pending, const char *identifier)
{
    MarrowlensProvider *self = pending->m_provider;
    g_ptr_array_remove_fast(self->m_pending, pending);
    g_debug("badge of %s: %s", pending->m_path, identifier != NULL ? identifier : "none");
    if (identifier != NULL)
        add_emblem(pending->m_file, identifier);
    nautilus_info_provider_update_complete_invoke(pending->m_complete, NAUTILUS_INFO_PROVIDER(self),
                                                  (NautilusOperationHandle *)pending,
                                                  NAUTILUS_OPERATION_COMPLETE);
    pending_free(pending);
}

static gboolean on_badge_timeout(gpointer data)
{
    Pending *pending = data;
    pending->m_timeout = 0;
    if (g_hash_table_size(pending->m_provider->m_unanswered) >= MaxRemembered)
        g_hash_table_remove_all(pending->m_provider->m_unanswered);
    g_hash_table_add(pending->m_provider->m_unanswered, g_strdup(pending->m_path));
    complete(pending, NULL);
    return G_SOURCE_REMOVE;
}

static Pending *pending_for_file(MarrowlensProvider *self, NautilusFileInfo *file)
{
    for (guint i = 0; i < self->m_pending->len; ++i) {
        Pending *pending = self->m_pending->pdata[i];
        if (pending->m_file == file)
            return pending;
    }
    return NULL;
}

// Completes the requests for path (NULL: all) that wait now. Nautilus may
// ask or cancel from inside a completion, so the list is searched afresh
// after each one.
static void complete_all(MarrowlensProvider *self, const char *path, const char *identifier)
{
    for (guint rounds = self->m_pending->len; rounds > 0; --rounds) {
        Pending *found = NULL;
        for (guint i = 0; i < self->m_pending->len && found == NULL; ++i) {
            Pending *pending = self->m_pending->pdata[i];
            if (path == NULL || g_strcmp0(pending->m_path, path) == 0)
                found = pending;
        }
        if (found == NULL)
            return;
        complete(found, identifier);
    }
}

static void invalidate_items(MarrowlensProvider *self)
{
    g_autoptr(GPtrArray) items = mlens_shown_files_items(self->m_shown);
    for (guint i = 0; i < items->len; ++i)
        nautilus_file_info_invalidate_extension_info(items->pdata[i]);
}

static void on_badge_changed(const char *path, const char *identifier, gpointer data)
{
    MarrowlensProvider *self = data;
    g_hash_table_remove(self->m_unanswered, path);
    gboolean answered = FALSE;
    for (guint i = 0; i < self->m_pending->len; ++i)
        answered = answered || g_strcmp0(((Pending *)self->m_pending->pdata[i])->m_path, path) == 0;
    if (answered) {
        complete_all(self, path, identifier);
        return;
    }
    NautilusFileInfo *shown = mlens_shown_files_lookup(self->m_shown, path);
    if (shown != NULL)
        nautilus_file_info_invalidate_extension_info(shown);
}

// The folders of the volume the windows show: from the windows' locations
// when this process exports them, else from the items Nautilus holds.
static void update_observed(MarrowlensProvider *self)
{
    const char *const *roots = mlens_link_directory_paths(self->m_link);
    g_autoptr(GPtrArray) shown = mlens_window_locations_available(self->m_locations)
                                     ? mlens_window_locations_folders(self->m_locations)
                                     : mlens_shown_files_folders(self->m_shown);
    g_autoptr(GPtrArray) folders = g_ptr_array_new();
    for (guint i = 0; i < shown->len; ++i) {
        if (mlens_path_is_within(shown->pdata[i], roots))
            g_ptr_array_add(folders, shown->pdata[i]);
    }
    mlens_observed_folders_update(self->m_observed, folders);
}

static void on_shown_changed(gpointer data)
{
    update_observed(data);
}

static void on_paths_changed(gpointer data)
{
    MarrowlensProvider *self = data;
    update_observed(self);
    const char *const *roots = mlens_link_directory_paths(self->m_link);
    g_autoptr(GPtrArray) early = g_steal_pointer(&self->m_before_paths);
    self->m_before_paths = g_ptr_array_new();
    for (guint i = 0; i < early->len; ++i) {
        GWeakRef *ref = early->pdata[i];
        g_autoptr(NautilusFileInfo) file = g_weak_ref_get(ref);
        g_weak_ref_clear(ref);
        g_free(ref);
        g_autofree char *path = file != NULL ? mlens_path_of_file(file) : NULL;
        if (mlens_path_is_within(path, roots))
            nautilus_file_info_invalidate_extension_info(file);
    }
}

static void on_owner_changed(gboolean present, gpointer data)
{
    MarrowlensProvider *self = data;
    g_hash_table_remove_all(self->m_unanswered);
    mlens_menu_source_forget(self->m_menus);
    if (!present) {
        complete_all(self, NULL, NULL);
        return;
    }
    // A new instance of the program knows nothing of the open windows.
    g_autoptr(GPtrArray) folders = mlens_observed_folders_list(self->m_observed);
    for (guint i = 0; i < folders->len; ++i)
        mlens_link_begin_observing(self->m_link, folders->pdata[i]);
    invalidate_items(self);
}

static void on_file_system_changed(const char *path, gpointer data)
{
    MarrowlensProvider *self = data;
    if (mlens_window_locations_available(self->m_locations)) {
        g_autoptr(GPtrArray) windows =
            mlens_window_locations_windows_showing(self->m_locations, path);
        mlens_window_reloader_request(self->m_reloader,
                                      mlens_window_locations_owner(self->m_locations), windows);
    } else if (mlens_observed_folders_contains(self->m_observed, path)) {
        mlens_window_reloader_request_all(self->m_reloader);
    }
}

static void on_emblems_installed(gpointer data)
{
    invalidate_items(data);
}

static void on_begin(const char *folder, gpointer data)
{
    MarrowlensProvider *self = data;
    g_debug("observing %s", folder);
    mlens_link_begin_observing(self->m_link, folder);
}

static void on_end(const char *folder, gpointer data)
{
    MarrowlensProvider *self = data;
    g_debug("no longer observing %s", folder);
    mlens_link_end_observing(self->m_link, folder);
}

static void remember_before_paths(MarrowlensProvider *self, NautilusFileInfo *file)
{
    if (self->m_before_paths->len >= MaxRemembered)
        return;
    GWeakRef *ref = g_new0(GWeakRef, 1);
    g_weak_ref_init(ref, file);
    g_ptr_array_add(self->m_before_paths, ref);
}

static NautilusOperationResult update_file_info(NautilusInfoProvider *provider,
                                                NautilusFileInfo *file, GClosure *update_complete,
                                                NautilusOperationHandle **handle)
{
    MarrowlensProvider *self = MARROWLENS_PROVIDER(provider);
    g_autofree char *path = mlens_path_of_file(file);
    if (path == NULL)
        return NAUTILUS_OPERATION_COMPLETE;
    const char *const *roots = mlens_link_directory_paths(self->m_link);
    if (roots[0] == NULL) {
        remember_before_paths(self, file);
        return NAUTILUS_OPERATION_COMPLETE;
    }
    if (!mlens_path_is_within(path, roots))
        return NAUTILUS_OPERATION_COMPLETE;

    g_autofree char *parent = mlens_path_parent(path);
    const gboolean parent_counts = parent != NULL && mlens_path_is_within(parent, roots);
    mlens_shown_files_add_item(self->m_shown, file, path, parent_counts ? parent : NULL);
    mlens_link_request_badge(self->m_link, path);

    const char *identifier = NULL;
    if (mlens_link_cached_badge(self->m_link, path, &identifier)) {
        g_debug("badge of %s known: %s", path, identifier);
        add_emblem(file, identifier);
        return NAUTILUS_OPERATION_COMPLETE;
    }
    if (g_hash_table_contains(self->m_unanswered, path))
        return NAUTILUS_OPERATION_COMPLETE;

    // Nautilus asked again before the last answer came: that one is moot.
    for (guint rounds = self->m_pending->len; rounds > 0; --rounds) {
        Pending *earlier = pending_for_file(self, file);
        if (earlier == NULL)
            break;
        complete(earlier, NULL);
    }
    Pending *pending = g_new0(Pending, 1);
    pending->m_provider = self;
    pending->m_file = g_object_ref(file);
    pending->m_path = g_steal_pointer(&path);
    pending->m_complete = g_closure_ref(update_complete);
    pending->m_timeout = g_timeout_add(BadgeTimeoutMs, on_badge_timeout, pending);
    g_ptr_array_add(self->m_pending, pending);
    *handle = (NautilusOperationHandle *)pending;
    return NAUTILUS_OPERATION_IN_PROGRESS;
}

static void cancel_update(NautilusInfoProvider *provider, NautilusOperationHandle *handle)
{
    MarrowlensProvider *self = MARROWLENS_PROVIDER(provider);
    Pending *pending = (Pending *)handle;
    if (g_ptr_array_remove_fast(self->m_pending, pending))
        pending_free(pending);
}

static GList *get_file_items(NautilusMenuProvider *provider, GList *files)
{
    return mlens_menu_source_items(MARROWLENS_PROVIDER(provider)->m_menus, files);
}

static GList *get_background_items(NautilusMenuProvider *provider, NautilusFileInfo *current_folder)
{
    MarrowlensProvider *self = MARROWLENS_PROVIDER(provider);
    g_autofree char *path = mlens_path_of_file(current_folder);
    if (mlens_path_is_within(path, mlens_link_directory_paths(self->m_link)))
        mlens_shown_files_add_folder(self->m_shown, current_folder, path);
    // The background of a folder has no menu of the extension's.
    return NULL;
}

static void info_provider_init(NautilusInfoProviderInterface *iface)
{
    iface->update_file_info = update_file_info;
    iface->cancel_update = cancel_update;
}

static void menu_provider_init(NautilusMenuProviderInterface *iface)
{
    iface->get_file_items = get_file_items;
    iface->get_background_items = get_background_items;
}

static void marrowlens_provider_init(MarrowlensProvider *self)
{
    static const MlensLinkEvents link_events = {
        .paths_changed = on_paths_changed,
        .owner_changed = on_owner_changed,
        .badge_changed = on_badge_changed,
        .file_system_changed = on_file_system_changed,
        .emblems_installed = on_emblems_installed,
    };
    static const MlensObservedEvents observed_events = {.begin = on_begin, .end = on_end};
    self->m_pending = g_ptr_array_new();
    self->m_unanswered = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    self->m_before_paths = g_ptr_array_new();
    self->m_shown = mlens_shown_files_new(on_shown_changed, self);
    self->m_observed = mlens_observed_folders_new(&observed_events, self, EndGraceMs);
    self->m_locations = mlens_window_locations_new(on_shown_changed, self);
    self->m_reloader = mlens_window_reloader_new(ReloadDelayMs);
    self->m_link = mlens_link_new(&link_events, self);
    self->m_menus = mlens_menu_source_new(self->m_link, MenuTimeoutMs);
}

static void marrowlens_provider_finalize(GObject *object)
{
    MarrowlensProvider *self = MARROWLENS_PROVIDER(object);
    while (self->m_pending->len > 0) {
        Pending *pending = g_ptr_array_steal_index_fast(self->m_pending, 0);
        pending_free(pending);
    }
    g_ptr_array_unref(self->m_pending);
    for (guint i = 0; i < self->m_before_paths->len; ++i) {
        g_weak_ref_clear(self->m_before_paths->pdata[i]);
        g_free(self->m_before_paths->pdata[i]);
    }
    g_ptr_array_unref(self->m_before_paths);
    g_hash_table_unref(self->m_unanswered);
    mlens_menu_source_free(self->m_menus);
    mlens_window_locations_free(self->m_locations);
    mlens_observed_folders_free(self->m_observed);
    mlens_shown_files_free(self->m_shown);
    mlens_window_reloader_free(self->m_reloader);
    mlens_link_free(self->m_link);
    G_OBJECT_CLASS(marrowlens_provider_parent_class)->finalize(object);
}

static void marrowlens_provider_class_init(MarrowlensProviderClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = marrowlens_provider_finalize;
}

static void marrowlens_provider_class_finalize(MarrowlensProviderClass *klass)
{
    (void)klass;
}
