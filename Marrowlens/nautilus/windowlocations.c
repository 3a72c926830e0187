// Following org.freedesktop.FileManager1's OpenWindowsWithLocations.
#include "windowlocations.h"

#include "volumepaths.h"

#include <gio/gio.h>

enum { MaxWindows = 256, MaxLocationsPerWindow = 64 };

struct _MlensWindowLocations
{
    void (*m_changed)(gpointer data);
    gpointer m_data;
    GCancellable *m_cancellable;
    GDBusProxy *m_proxy;
    char *m_owner;         // our own unique name while we own the interface
    GHashTable *m_windows; // window object path → GPtrArray of local paths
};

static GPtrArray *paths_from_uris(GVariant *uris)
{
    GPtrArray *paths = g_ptr_array_new_with_free_func(g_free);
    GVariantIter iter;
    const char *uri = NULL;
    g_variant_iter_init(&iter, uris);
    while (paths->len < MaxLocationsPerWindow && g_variant_iter_next(&iter, "&s", &uri)) {
        g_autofree char *raw = g_filename_from_uri(uri, NULL, NULL);
        char *path = mlens_path_normalized(raw);
        if (path != NULL)
            g_ptr_array_add(paths, path);
    }
    return paths;
}

static gboolean owned_by_this_process(MlensWindowLocations *locations)
{
    g_autofree char *owner = g_dbus_proxy_get_name_owner(locations->m_proxy);
    const char *own =
        g_dbus_connection_get_unique_name(g_dbus_proxy_get_connection(locations->m_proxy));
    return owner != NULL && g_strcmp0(owner, own) == 0;
}

static void reread(MlensWindowLocations *locations)
{
    g_hash_table_remove_all(locations->m_windows);
    g_clear_pointer(&locations->m_owner, g_free);
    if (owned_by_this_process(locations)) {
        g_autoptr(GVariant) value =
            g_dbus_proxy_get_cached_property(locations->m_proxy, "OpenWindowsWithLocations");
        if (value != NULL && g_variant_is_of_type(value, G_VARIANT_TYPE("a{sas}"))) {
            locations->m_owner = g_dbus_proxy_get_name_owner(locations->m_proxy);
            GVariantIter iter;
            const char *window = NULL;
            GVariant *uris = NULL;
            g_variant_iter_init(&iter, value);
            while (g_hash_table_size(locations->m_windows) < MaxWindows &&
                   g_variant_iter_next(&iter, "{&s@as}", &window, &uris)) {
                if (g_variant_is_object_path(window))
                    g_hash_table_replace(locations->m_windows, g_strdup(window),
                                         paths_from_uris(uris));
                g_variant_unref(uris);
            }
        }
    }
    g_debug("windows' locations %s: %u windows", locations->m_owner != NULL ? "known" : "unknown",
            g_hash_table_size(locations->m_windows));
    locations->m_changed(locations->m_data);
}

static void on_properties_changed(GDBusProxy *proxy, GVariant *changed, GStrv invalidated,
                                  gpointer data)
{
    (void)proxy;
    (void)changed;
    (void)invalidated;
    reread(data);
}

static void on_owner_changed(GObject *object, GParamSpec *pspec, gpointer data)
{
    (void)object;
    (void)pspec;
    reread(data);
}

static void on_proxy_ready(GObject *source, GAsyncResult *result, gpointer data)
{
    (void)source;
    g_autoptr(GError) error = NULL;
    GDBusProxy *proxy = g_dbus_proxy_new_for_bus_finish(result, &error);
    if (proxy == NULL) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            g_debug("windows' locations unknown: %s", error->message);
        return;
    }
    MlensWindowLocations *locations = data;
    locations->m_proxy = proxy;
    g_signal_connect(proxy, "g-properties-changed", G_CALLBACK(on_properties_changed), locations);
    g_signal_connect(proxy, "notify::g-name-owner", G_CALLBACK(on_owner_changed), locations);
    reread(locations);
}

MlensWindowLocations *mlens_window_locations_new(void (*changed)(gpointer data), gpointer data)
{
    MlensWindowLocations *locations = g_new0(MlensWindowLocations, 1);
    locations->m_changed = changed;
    locations->m_data = data;
    locations->m_cancellable = g_cancellable_new();
    locations->m_windows =
        g_hash_table_new_full(g_str_hash, g_str_equal, g_free, (GDestroyNotify)g_ptr_array_unref);
    // Never start a file manager: only the one we live in counts.
    g_dbus_proxy_new_for_bus(
        G_BUS_TYPE_SESSION,
        G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START | G_DBUS_PROXY_FLAGS_GET_INVALIDATED_PROPERTIES, NULL,
        "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
        "org.freedesktop.FileManager1", locations->m_cancellable, on_proxy_ready, locations);
    return locations;
}

void mlens_window_locations_free(MlensWindowLocations *locations)
{
    if (locations == NULL)
        return;
    g_cancellable_cancel(locations->m_cancellable);
    if (locations->m_proxy != NULL) {
        g_signal_handlers_disconnect_by_data(locations->m_proxy, locations);
        g_object_unref(locations->m_proxy);
    }
    g_object_unref(locations->m_cancellable);
    g_hash_table_unref(locations->m_windows);
    g_free(locations->m_owner);
    g_free(locations);
}

gboolean mlens_window_locations_available(MlensWindowLocations *locations)
{
    return locations->m_owner != NULL;
}

GPtrArray *mlens_window_locations_folders(MlensWindowLocations *locations)
{
    GPtrArray *folders = g_ptr_array_new();
    GHashTableIter iter;
    gpointer paths = NULL;
    g_hash_table_iter_init(&iter, locations->m_windows);
    while (g_hash_table_iter_next(&iter, NULL, &paths)) {
        for (guint i = 0; i < ((GPtrArray *)paths)->len; ++i)
            g_ptr_array_add(folders, ((GPtrArray *)paths)->pdata[i]);
    }
    return folders;
}

GPtrArray *mlens_window_locations_windows_showing(MlensWindowLocations *locations, const char *path)
{
    GPtrArray *windows = g_ptr_array_new();
    GHashTableIter iter;
    gpointer window = NULL;
    gpointer paths = NULL;
    g_hash_table_iter_init(&iter, locations->m_windows);
    while (g_hash_table_iter_next(&iter, &window, &paths)) {
        for (guint i = 0; i < ((GPtrArray *)paths)->len; ++i) {
            if (g_strcmp0(((GPtrArray *)paths)->pdata[i], path) == 0) {
                g_ptr_array_add(windows, window);
                break;
            }
        }
    }
    return windows;
}

const char *mlens_window_locations_owner(MlensWindowLocations *locations)
{
    return locations->m_owner;
}
