// Activating win.reload of every window through org.gtk.Actions.
#include "windowreloader.h"

#include <gio/gio.h>

struct _MlensWindowReloader
{
    guint m_delay_ms;
    guint m_source;
    GCancellable *m_cancellable;
};

static void activate_reload(GDBusConnection *connection, const char *path)
{
    g_dbus_connection_call(connection, g_dbus_connection_get_unique_name(connection), path,
                           "org.gtk.Actions", "Activate",
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
        if ((*child)->path == NULL || !g_variant_is_object_path(base))
            continue;
        g_autofree char *path = g_strconcat(base, "/", (*child)->path, NULL);
        if (!g_variant_is_object_path(path))
            continue;
        g_debug("reloading the window at %s", path);
        activate_reload(connection, path);
    }
}

static gboolean on_due(gpointer data)
{
    MlensWindowReloader *reloader = data;
    reloader->m_source = 0;
    GApplication *application = g_application_get_default();
    if (application == NULL)
        return G_SOURCE_REMOVE;
    GDBusConnection *connection = g_application_get_dbus_connection(application);
    const char *path = g_application_get_dbus_object_path(application);
    if (connection == NULL || path == NULL)
        return G_SOURCE_REMOVE;
    char *base = g_strconcat(path, "/window", NULL);
    g_dbus_connection_call(connection, g_dbus_connection_get_unique_name(connection), base,
                           "org.freedesktop.DBus.Introspectable", "Introspect", NULL,
                           G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                           reloader->m_cancellable, on_windows_listed, base);
    return G_SOURCE_REMOVE;
}

MlensWindowReloader *mlens_window_reloader_new(guint delay_ms)
{
    MlensWindowReloader *reloader = g_new0(MlensWindowReloader, 1);
    reloader->m_delay_ms = delay_ms;
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
    g_free(reloader);
}

void mlens_window_reloader_request(MlensWindowReloader *reloader)
{
    if (reloader->m_source == 0)
        reloader->m_source = g_timeout_add(reloader->m_delay_ms, on_due, reloader);
}
