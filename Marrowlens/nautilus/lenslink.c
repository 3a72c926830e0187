// The bus side of the shim. The proxy is made asynchronously without
// G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, so making it starts the program, and
// so does any later call while the name has no owner.
#include "lenslink.h"

#include "emblemtheme.h"
#include "volumepaths.h"

enum { MaxCachedBadges = 20000, MaxSelection = 1000, ThemeRescanSeconds = 6 };

struct _MlensLink
{
    MlensLinkEvents m_events;
    gpointer m_data;
    GCancellable *m_cancellable;
    GDBusProxy *m_proxy;
    char **m_directory_paths;
    GHashTable *m_badges; // path → identifier, as the program last said
    char *m_owner;        // the unique name last seen owning the program's name
    guint m_theme_timeout;
};

static void read_directory_paths(MlensLink *link)
{
    g_autoptr(GVariant) value = g_dbus_proxy_get_cached_property(link->m_proxy, "directoryPaths");
    if (value == NULL || !g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY))
        return;
    g_autofree const char **given = g_variant_get_strv(value, NULL);
    GPtrArray *clean = g_ptr_array_new();
    for (const char **path = given; *path != NULL; ++path) {
        // "/" would make every file of the system the program's business.
        char *normalized = mlens_path_normalized(*path);
        if (normalized != NULL && g_strcmp0(normalized, "/") != 0)
            g_ptr_array_add(clean, normalized);
        else
            g_free(normalized);
    }
    g_ptr_array_add(clean, NULL);
    g_strfreev(link->m_directory_paths);
    link->m_directory_paths = (char **)g_ptr_array_free(clean, FALSE);
    link->m_events.paths_changed(link->m_data);
}

static gboolean on_theme_rescanned(gpointer data)
{
    MlensLink *link = data;
    link->m_theme_timeout = 0;
    link->m_events.emblems_installed(link->m_data);
    return G_SOURCE_REMOVE;
}

static void on_emblems_installed(GObject *source, GAsyncResult *result, gpointer data)
{
    (void)source;
    g_autoptr(GError) error = NULL;
    const gboolean written = mlens_emblem_install_finish(result, &error);
    if (error != NULL) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            g_warning("badge images not installed: %s", error->message);
        return;
    }
    MlensLink *link = data;
    // Nautilus drops an emblem whose icon its theme does not know, and GTK
    // looks at the theme's folders again at most every five seconds: items
    // are asked again once it surely did.
    if (written && link->m_theme_timeout == 0)
        link->m_theme_timeout = g_timeout_add_seconds(ThemeRescanSeconds, on_theme_rescanned, link);
}

static void on_badges(GObject *source, GAsyncResult *result, gpointer data)
{
    g_autoptr(GError) error = NULL;
    g_autoptr(GVariant) reply = g_dbus_proxy_call_finish(G_DBUS_PROXY(source), result, &error);
    if (reply == NULL) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            g_message("no badges: %s", error->message);
        return;
    }
    if (!g_variant_is_of_type(reply, G_VARIANT_TYPE("(a(sss))")))
        return;
    MlensLink *link = data;
    g_autoptr(GVariant) badges = g_variant_get_child_value(reply, 0);
    mlens_emblem_install_async(badges, link->m_cancellable, on_emblems_installed, link);
}

static void forget_badges(MlensLink *link)
{
    // The program's next instance decides afresh; badges shown must go.
    g_autoptr(GHashTable) old = g_steal_pointer(&link->m_badges);
    link->m_badges = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    GHashTableIter iter;
    gpointer path = NULL;
    gpointer identifier = NULL;
    g_hash_table_iter_init(&iter, old);
    while (g_hash_table_iter_next(&iter, &path, &identifier)) {
        if (((const char *)identifier)[0] != '\0')
            link->m_events.badge_changed(path, "", link->m_data);
    }
}

static void on_owner_changed(GObject *object, GParamSpec *pspec, gpointer data)
{
    (void)object;
    (void)pspec;
    MlensLink *link = data;
    g_autofree char *owner = g_dbus_proxy_get_name_owner(link->m_proxy);
    // GDBusProxy also notifies when it learns the same owner twice.
    if (g_strcmp0(owner, link->m_owner) == 0)
        return;
    g_debug("owner of %s: %s", MLENS_BUS_NAME, owner != NULL ? owner : "none");
    if (link->m_owner != NULL)
        forget_badges(link);
    g_free(link->m_owner);
    link->m_owner = g_steal_pointer(&owner);
    const gboolean present = link->m_owner != NULL;
    if (present) {
        g_dbus_proxy_call(link->m_proxy, "badges", NULL, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                          link->m_cancellable, on_badges, link);
    }
    link->m_events.owner_changed(present, link->m_data);
}

static void remember_badge(MlensLink *link, const char *path, const char *identifier)
{
    if (g_hash_table_size(link->m_badges) >= MaxCachedBadges)
        g_hash_table_remove_all(link->m_badges);
    g_hash_table_replace(link->m_badges, g_strdup(path), g_strdup(identifier));
}

static void on_badge_signal(MlensLink *link, GVariant *parameters)
{
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)")))
        return;
    const char *given = NULL;
    const char *identifier = NULL;
    g_variant_get(parameters, "(&s&s)", &given, &identifier);
    g_autofree char *path = mlens_path_normalized(given);
    if (path == NULL || !mlens_path_is_within(path, mlens_link_directory_paths(link)))
        return;
    const char *known = NULL;
    const gboolean changed =
        !mlens_link_cached_badge(link, path, &known) || g_strcmp0(known, identifier) != 0;
    remember_badge(link, path, identifier);
    // Only a change is passed on: the program answers every request, and
    // passing on an unchanged answer would make Nautilus ask again, forever.
    if (changed)
        link->m_events.badge_changed(path, identifier, link->m_data);
}

static void on_signal(GDBusProxy *proxy, const char *sender, const char *name, GVariant *parameters,
                      gpointer data)
{
    (void)proxy;
    (void)sender;
    MlensLink *link = data;
    if (g_strcmp0(name, "badgeIdentifierChanged") == 0) {
        on_badge_signal(link, parameters);
    } else if (g_strcmp0(name, "fileSystemChanged") == 0 &&
               g_variant_is_of_type(parameters, G_VARIANT_TYPE("(s)"))) {
        const char *given = NULL;
        g_variant_get(parameters, "(&s)", &given);
        g_autofree char *path = mlens_path_normalized(given);
        if (path != NULL && mlens_path_is_within(path, mlens_link_directory_paths(link)))
            link->m_events.file_system_changed(path, link->m_data);
    } else if (g_strcmp0(name, "directoryPathsChanged") == 0 &&
               g_variant_is_of_type(parameters, G_VARIANT_TYPE("(as)"))) {
        g_autoptr(GVariant) paths = g_variant_get_child_value(parameters, 0);
        g_dbus_proxy_set_cached_property(link->m_proxy, "directoryPaths", paths);
        read_directory_paths(link);
    }
}

static void on_properties_changed(GDBusProxy *proxy, GVariant *changed, GStrv invalidated,
                                  gpointer data)
{
    (void)proxy;
    (void)changed;
    (void)invalidated;
    read_directory_paths(data);
}

static void on_proxy_ready(GObject *source, GAsyncResult *result, gpointer data)
{
    (void)source;
    g_autoptr(GError) error = NULL;
    GDBusProxy *proxy = g_dbus_proxy_new_for_bus_finish(result, &error);
    if (proxy == NULL) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            g_warning("no session bus: %s", error->message);
        return;
    }
    MlensLink *link = data;
    link->m_proxy = proxy;
    g_signal_connect(proxy, "g-signal", G_CALLBACK(on_signal), link);
    g_signal_connect(proxy, "g-properties-changed", G_CALLBACK(on_properties_changed), link);
    g_signal_connect(proxy, "notify::g-name-owner", G_CALLBACK(on_owner_changed), link);
    // The owner first: items asked about again once the paths are known
    // must not be told twice to the program.
    on_owner_changed(G_OBJECT(proxy), NULL, link);
    read_directory_paths(link);
}

MlensLink *mlens_link_new(const MlensLinkEvents *events, gpointer data)
{
    MlensLink *link = g_new0(MlensLink, 1);
    link->m_events = *events;
    link->m_data = data;
    link->m_cancellable = g_cancellable_new();
    link->m_directory_paths = g_new0(char *, 1);
    link->m_badges = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_dbus_proxy_new_for_bus(G_BUS_TYPE_SESSION, G_DBUS_PROXY_FLAGS_NONE, NULL, MLENS_BUS_NAME,
                             MLENS_OBJECT_PATH, MLENS_INTERFACE, link->m_cancellable,
                             on_proxy_ready, link);
    return link;
}

void mlens_link_free(MlensLink *link)
{
    if (link == NULL)
        return;
    g_cancellable_cancel(link->m_cancellable);
    if (link->m_theme_timeout != 0)
        g_source_remove(link->m_theme_timeout);
    if (link->m_proxy != NULL) {
        g_signal_handlers_disconnect_by_data(link->m_proxy, link);
        g_object_unref(link->m_proxy);
    }
    g_object_unref(link->m_cancellable);
    g_strfreev(link->m_directory_paths);
    g_hash_table_unref(link->m_badges);
    g_free(link->m_owner);
    g_free(link);
}

gboolean mlens_link_is_present(MlensLink *link)
{
    if (link->m_proxy == NULL)
        return FALSE;
    g_autofree char *owner = g_dbus_proxy_get_name_owner(link->m_proxy);
    return owner != NULL;
}

const char *const *mlens_link_directory_paths(MlensLink *link)
{
    return (const char *const *)link->m_directory_paths;
}

gboolean mlens_link_cached_badge(MlensLink *link, const char *path, const char **identifier)
{
    gpointer value = NULL;
    if (!g_hash_table_lookup_extended(link->m_badges, path, NULL, &value))
        return FALSE;
    *identifier = value;
    return TRUE;
}

static void send(MlensLink *link, const char *method, GVariant *parameters)
{
    g_variant_ref_sink(parameters);
    // Sent to the well-known name, not to the owner the proxy last saw: a
    // message reaches whichever instance runs now, or makes the bus start
    // one. Without a callback it goes out flagged as needing no reply.
    if (link->m_proxy != NULL)
        g_dbus_connection_call(g_dbus_proxy_get_connection(link->m_proxy), MLENS_BUS_NAME,
                               MLENS_OBJECT_PATH, MLENS_INTERFACE, method, parameters, NULL,
                               G_DBUS_CALL_FLAGS_NONE, -1, NULL, NULL, NULL);
    g_variant_unref(parameters);
}

void mlens_link_request_badge(MlensLink *link, const char *path)
{
    send(link, "requestBadgeIdentifier", g_variant_new("(s)", path));
}

void mlens_link_begin_observing(MlensLink *link, const char *path)
{
    send(link, "beginObservingDirectory", g_variant_new("(s)", path));
}

void mlens_link_end_observing(MlensLink *link, const char *path)
{
    // Ending needs no program: one that is not running observes nothing.
    if (mlens_link_is_present(link))
        send(link, "endObservingDirectory", g_variant_new("(s)", path));
}

static GVariant *selection_variant(const char *const *paths)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_STRING_ARRAY);
    for (int count = 0; paths != NULL && paths[count] != NULL && count < MaxSelection; ++count)
        g_variant_builder_add(&builder, "s", paths[count]);
    return g_variant_builder_end(&builder);
}

void mlens_link_perform_action(MlensLink *link, const char *action, const char *const *paths)
{
    send(link, "performAction", g_variant_new("(s@as)", action, selection_variant(paths)));
}

MlensMenuAnswer *mlens_link_menu_sync(MlensLink *link, int kind, const char *const *paths,
                                      int timeout_ms, gboolean *timed_out)
{
    *timed_out = FALSE;
    if (link->m_proxy == NULL)
        return NULL;
    g_autofree char *owner = g_dbus_proxy_get_name_owner(link->m_proxy);
    if (owner == NULL)
        return NULL;
    g_autoptr(GError) error = NULL;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(link->m_proxy), owner, MLENS_OBJECT_PATH, MLENS_INTERFACE,
        "menuForMenuKind", g_variant_new("(i@as)", kind, selection_variant(paths)),
        G_VARIANT_TYPE("(bsa(sssb))"), G_DBUS_CALL_FLAGS_NO_AUTO_START, timeout_ms, NULL, &error);
    if (reply == NULL) {
        *timed_out = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT);
        return NULL;
    }
    return mlens_menu_answer_new_from_reply(reply);
}

typedef struct
{
    MlensMenuCallback m_callback;
    gpointer m_data;
} MenuCall;

static void on_menu_reply(GObject *source, GAsyncResult *result, gpointer data)
{
    MenuCall *call = data;
    g_autoptr(GError) error = NULL;
    g_autoptr(GVariant) reply =
        g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        g_autoptr(MlensMenuAnswer) answer = mlens_menu_answer_new_from_reply(reply);
        call->m_callback(answer, call->m_data);
    }
    g_free(call);
}

void mlens_link_menu_async(MlensLink *link, int kind, const char *const *paths,
                           MlensMenuCallback callback, gpointer data)
{
    g_autofree char *owner =
        link->m_proxy != NULL ? g_dbus_proxy_get_name_owner(link->m_proxy) : NULL;
    if (owner == NULL)
        return;
    MenuCall *call = g_new0(MenuCall, 1);
    call->m_callback = callback;
    call->m_data = data;
    g_dbus_connection_call(g_dbus_proxy_get_connection(link->m_proxy), owner, MLENS_OBJECT_PATH,
                           MLENS_INTERFACE, "menuForMenuKind",
                           g_variant_new("(i@as)", kind, selection_variant(paths)),
                           G_VARIANT_TYPE("(bsa(sssb))"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                           link->m_cancellable, on_menu_reply, call);
}
