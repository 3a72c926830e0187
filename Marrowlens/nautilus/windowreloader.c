// Activating win.reload through org.gtk.Actions.
#include "windowreloader.h"

#include <gio/gio.h>

struct _MlensWindowReloader
{
    guint m_delay_ms;
    guint m_source;
    gboolean m_all;
    char *m_owner;
    GHashTable *m_windows; // object paths due for a reload
    GCancellable *m_cancellable;
};

static void activate_reload(GDBusConnection *connection, const char *owner, const char *path)
{
    g_debug("reloading the window at %s", path);
    g_dbus_connection_call(connection, owner, path, "org.gtk.Actions", "Activate",
                           g_variant_new("(s@av@a{sv})", "reload",
                                         g_variant_new_array(G_VARIANT_TYPE_VARIANT, NULL, 0),
                                         g_variant_new_array(G_VARIANT_TYPE("{sv}"), NULL, 0)),
                           NULL, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, NULL, NULL, NULL);
}

static void on_windows_listed(GObject *source, GAsyncResult *result, gpointer data)
{
    g_autofree char *base = data;
    GDBusConnection *connection = G_DBUS_CONNECTION(source);
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(connection, result, NULL);
    if (reply == NULL)
        return;
    const char *xml = NULL;
    g_variant_get(reply, "(&s)", &xml);
    g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(xml, NULL);
    if (node == NULL || node->nodes == NULL)
        return;
    for (GDBusNodeInfo **child = node->nodes; *child != NULL; ++child) {
        if ((*child)->path == NULL)
            continue;
        g_autofree char *path = g_strconcat(base, "/", (*child)->path, NULL);
        if (g_variant_is_object_path(path))
            activate_reload(connection, g_dbus_connection_get_unique_name(connection), path);
    }
}

static void reload_all(MlensWindowReloader *reloader)
{
    GApplication *application = g_application_get_default();
    if (application == NULL)
        return;
    GDBusConnection *connection = g_application_get_dbus_connection(application);
    const char *path = g_application_get_dbus_object_path(application);
    if (connection == NULL || path == NULL)
        return;
    char *base = g_strconcat(path, "/window", NULL);
    g_dbus_connection_call(connection, g_dbus_connection_get_unique_name(connection), base,
                           "org.freedesktop.DBus.Introspectable", "Introspect", NULL,
                           G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                           reloader->m_cancellable, on_windows_listed, base);
}

static gboolean on_due(gpointer data)
{
    MlensWindowReloader *reloader = data;
    reloader->m_source = 0;
    if (reloader->m_all) {
        reload_all(reloader);
    } else if (reloader->m_owner != NULL) {
        g_autoptr(GDBusConnection) connection = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, NULL);
        GHashTableIter iter;
        gpointer window = NULL;
        g_hash_table_iter_init(&iter, reloader->m_windows);
        while (connection != NULL && g_hash_table_iter_next(&iter, &window, NULL))
            activate_reload(connection, reloader->m_owner, window);
    }
    reloader->m_all = FALSE;
    g_hash_table_remove_all(reloader->m_windows);
    return G_SOURCE_REMOVE;
}

MlensWindowReloader *mlens_window_reloader_new(guint delay_ms)
{
    MlensWindowReloader *reloader = g_new0(MlensWindowReloader, 1);
    reloader->m_delay_ms = delay_ms;
    reloader->m_windows = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    reloader->m_cancellable = g_cancellable_new();
    return reloader;
}

void mlens_window_reloader_free(MlensWindowReloader *reloader)
{
    if (reloader == NULL)
        return;
    if (reloader->m_source != 0)
        g_source_remove(reloader->m_source);
    g_cancellable_cancel(reloader->m_cancellable);
    g_object_unref(reloader->m_cancellable);
    g_hash_table_unref(reloader->m_windows);
    g_free(reloader->m_owner);
    g_free(reloader);
}

static void schedule(MlensWindowReloader *reloader)
{
    if (reloader->m_source == 0)
        reloader->m_source = g_timeout_add(reloader->m_delay_ms, on_due, reloader);
}

void mlens_window_reloader_request(MlensWindowReloader *reloader, const char *owner,
                                   GPtrArray *windows)
{
    if (g_strcmp0(owner, reloader->m_owner) != 0) {
        g_hash_table_remove_all(reloader->m_windows);
        g_free(reloader->m_owner);
        reloader->m_owner = g_strdup(owner);
    }
    for (guint i = 0; i < windows->len; ++i)
        g_hash_table_add(reloader->m_windows, g_strdup(windows->pdata[i]));
    if (windows->len > 0)
        schedule(reloader);
}

void mlens_window_reloader_request_all(MlensWindowReloader *reloader)
{
    reloader->m_all = TRUE;
    schedule(reloader);
}
