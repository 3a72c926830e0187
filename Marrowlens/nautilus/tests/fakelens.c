// A stand-in for the extension program: owns its bus name, serves the
// contract from the checked-in introspection XML with a made-up volume
// (device folders directly below the root, some of them booted), and records
// every call. A second interface at /Testing lets a test read the record,
// boot or shut down a device, report a change and crash the program.
//
//   fakelens --contract XML --root PATH --image PNG [--booted NAME]...
//
// Single-threaded: everything runs on the main loop.
#include <gio/gio.h>
#include <stdlib.h>
#include <string.h>

static const char k_testing_xml[] =
    "<node><interface name='dev.marrowby.marrowby.Marrowlens.Testing'>"
    "<method name='recorded'><arg type='as' direction='out'/></method>"
    "<method name='setBooted'><arg type='s' direction='in'/><arg type='b' direction='in'/></method>"
    "<method name='changed'><arg type='s' direction='in'/></method>"
    "<method name='crash'/>"
    "</interface></node>";

typedef struct
{
    GDBusConnection *m_connection;
    char *m_root;
    char *m_image;
    GHashTable *m_booted; // device folder names
    GPtrArray *m_record;  // "method argument..." lines
} Fake;

static void record(Fake *fake, const char *format, ...) G_GNUC_PRINTF(2, 3);
static void record(Fake *fake, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    g_ptr_array_add(fake->m_record, g_strdup_vprintf(format, args));
    va_end(args);
}

// The components of path below the root, or -1 when it is not below it.
static int depth_below_root(Fake *fake, const char *path, const char **first)
{
    const size_t length = strlen(fake->m_root);
    if (strncmp(path, fake->m_root, length) != 0 || (path[length] != '\0' && path[length] != '/'))
        return -1;
    const char *rest = path + length;
    *first = rest[0] == '/' ? rest + 1 : rest;
    int depth = 0;
    for (const char *c = rest; *c != '\0'; ++c)
        depth += *c == '/';
    return depth;
}

static char *device_name(const char *first)
{
    const char *slash = strchr(first, '/');
    return slash != NULL ? g_strndup(first, (gsize)(slash - first)) : g_strdup(first);
}

static void emit(Fake *fake, const char *signal, GVariant *parameters)
{
    g_dbus_connection_emit_signal(fake->m_connection, NULL, "/FinderSync",
                                  "dev.marrowby.marrowby.Marrowlens.FinderSync", signal, parameters,
                                  NULL);
}

static void emit_badge(Fake *fake, const char *name)
{
    g_autofree char *path = g_build_filename(fake->m_root, name, NULL);
    const gboolean booted = g_hash_table_contains(fake->m_booted, name);
    emit(fake, "badgeIdentifierChanged", g_variant_new("(ss)", path, booted ? "Booted" : ""));
}

static GVariant *menu_for(Fake *fake, int kind, const char *const *paths)
{
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("a(sssb)"));
    const char *first = NULL;
    const int count = (int)g_strv_length((char **)paths);
    const int depth = count > 0 ? depth_below_root(fake, paths[0], &first) : -1;
    if (kind == 2)
        return g_variant_new("(bsa(sssb))", TRUE, "Marrowby", &items);
    if (kind != 0 || depth < 1 || strcmp(first, "Readme.txt") == 0)
        return g_variant_new("(bsa(sssb))", FALSE, "", &items);
    const char *kinds[] = {"", "device", "app"};
    g_autofree char *reveal = g_strdup_printf("%s.reveal", depth <= 2 ? kinds[depth] : "general");
    g_variant_builder_add(&items, "(sssb)", reveal, "Reveal in file viewer", fake->m_image, TRUE);
    if (depth == 1 && count == 1) {
        g_autofree char *name = device_name(first);
        if (g_hash_table_contains(fake->m_booted, name)) {
            g_autofree char *title = g_strdup_printf("\u201d%s\u201d is currently running", name);
            // A message, as the program sends it: no action, disabled.
            g_variant_builder_add(&items, "(sssb)", "", title, fake->m_image, FALSE);
        } else {
            g_autofree char *title = g_strdup_printf("Launch \u201d%s\u201d Simulator", name);
            g_variant_builder_add(&items, "(sssb)", "device.launch", title, fake->m_image, TRUE);
        }
        g_variant_builder_add(&items, "(sssb)", "device.reset", "Reset Content and Settings",
                              fake->m_image, TRUE);
    }
    return g_variant_new("(bsa(sssb))", TRUE, "", &items);
}

static void on_contract_call(GDBusConnection *connection, const char *sender, const char *path,
                             const char *interface, const char *method, GVariant *parameters,
                             GDBusMethodInvocation *invocation, gpointer data)
{
    (void)connection, (void)sender, (void)path, (void)interface;
    Fake *fake = data;
    if (strcmp(method, "badges") == 0) {
        g_dbus_method_invocation_return_value(
            invocation,
            g_variant_new_parsed("([(%s, %s, %s)],)", "Booted", "Booted", fake->m_image));
        return;
    }
    if (strcmp(method, "menuForMenuKind") == 0) {
        int kind = 0;
        g_autofree const char **paths = NULL;
        g_variant_get(parameters, "(i^a&s)", &kind, &paths);
        record(fake, "menu %d %u %s", kind, g_strv_length((char **)paths),
               paths[0] != NULL ? paths[0] : "");
        g_dbus_method_invocation_return_value(invocation,
                                              menu_for(fake, kind, (const char *const *)paths));
        return;
    }
    if (strcmp(method, "performAction") == 0) {
        const char *action = NULL;
        g_autofree const char **paths = NULL;
        g_variant_get(parameters, "(&s^a&s)", &action, &paths);
        g_autofree char *joined = g_strjoinv(" ", (char **)paths);
        record(fake, "performAction %s %s", action, joined);
    } else {
        const char *argument = NULL;
        g_variant_get(parameters, "(&s)", &argument);
        record(fake, "%s %s", method, argument);
        const char *first = NULL;
        if (strcmp(method, "requestBadgeIdentifier") == 0 &&
            depth_below_root(fake, argument, &first) == 1 && strcmp(first, "Readme.txt") != 0)
            emit_badge(fake, first);
    }
    g_dbus_method_invocation_return_value(invocation, NULL);
}

static GVariant *on_get_property(GDBusConnection *connection, const char *sender, const char *path,
                                 const char *interface, const char *property, GError **error,
                                 gpointer data)
{
    (void)connection, (void)sender, (void)path, (void)interface, (void)error;
    Fake *fake = data;
    if (strcmp(property, "directoryPaths") != 0)
        return NULL;
    const char *paths[] = {fake->m_root, NULL};
    return g_variant_new_strv(paths, -1);
}

static void on_testing_call(GDBusConnection *connection, const char *sender, const char *path,
                            const char *interface, const char *method, GVariant *parameters,
                            GDBusMethodInvocation *invocation, gpointer data)
{
    (void)connection, (void)sender, (void)path, (void)interface;
    Fake *fake = data;
    if (strcmp(method, "recorded") == 0) {
        const char *none[] = {NULL};
        const char *const *lines =
            fake->m_record->len > 0 ? (const char *const *)fake->m_record->pdata : none;
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", lines));
        return;
    }
    if (strcmp(method, "crash") == 0)
        _exit(3);
    if (strcmp(method, "setBooted") == 0) {
        const char *name = NULL;
        gboolean booted = FALSE;
        g_variant_get(parameters, "(&sb)", &name, &booted);
        if (booted)
            g_hash_table_add(fake->m_booted, g_strdup(name));
        else
            g_hash_table_remove(fake->m_booted, name);
        emit_badge(fake, name);
    } else if (strcmp(method, "changed") == 0) {
        const char *changed = NULL;
        g_variant_get(parameters, "(&s)", &changed);
        emit(fake, "fileSystemChanged", g_variant_new("(s)", changed));
    }
    g_dbus_method_invocation_return_value(invocation, NULL);
}

static void on_name_lost(GDBusConnection *connection, const char *name, gpointer data)
{
    (void)data;
    // The bus going away also ends the name: that is no error.
    if (connection == NULL || g_dbus_connection_is_closed(connection))
        exit(0);
    g_printerr("fakelens: could not own %s\n", name);
    exit(1);
}

int main(int argc, char **argv)
{
    g_autofree char *contract = NULL;
    g_autofree char *root = NULL;
    g_autofree char *image = NULL;
    g_auto(GStrv) booted = NULL;
    const GOptionEntry entries[] = {
        {"contract", 0, 0, G_OPTION_ARG_FILENAME, &contract, "introspection XML", "XML"},
        {"root", 0, 0, G_OPTION_ARG_FILENAME, &root, "the volume's mount point", "PATH"},
        {"image", 0, 0, G_OPTION_ARG_FILENAME, &image, "the badge image", "PNG"},
        {"booted", 0, 0, G_OPTION_ARG_STRING_ARRAY, &booted, "a booted device folder", "NAME"},
        {NULL, 0, 0, 0, NULL, NULL, NULL},
    };
    g_autoptr(GOptionContext) options = g_option_context_new(NULL);
    g_option_context_add_main_entries(options, entries, NULL);
    g_autoptr(GError) error = NULL;
    g_autofree char *xml = NULL;
    if (!g_option_context_parse(options, &argc, &argv, &error) || contract == NULL ||
        root == NULL || image == NULL || !g_file_get_contents(contract, &xml, NULL, &error)) {
        g_printerr("fakelens: %s\n",
                   error != NULL ? error->message : "--contract, --root and --image are needed");
        return 2;
    }
    g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(xml, &error);
    g_autoptr(GDBusNodeInfo) testing = g_dbus_node_info_new_for_xml(k_testing_xml, &error);
    Fake fake = {
        .m_connection = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, &error),
        .m_root = root,
        .m_image = image,
        .m_booted = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL),
        .m_record = g_ptr_array_new_null_terminated(0, g_free, TRUE),
    };
    if (node == NULL || testing == NULL || fake.m_connection == NULL) {
        g_printerr("fakelens: %s\n", error->message);
        return 2;
    }
    for (char **name = booted; name != NULL && *name != NULL; ++name)
        g_hash_table_add(fake.m_booted, g_strdup(*name));
    const GDBusInterfaceVTable contract_vtable = {on_contract_call, on_get_property, NULL, {0}};
    const GDBusInterfaceVTable testing_vtable = {on_testing_call, NULL, NULL, {0}};
    g_dbus_connection_register_object(fake.m_connection, "/FinderSync", node->interfaces[0],
                                      &contract_vtable, &fake, NULL, NULL);
    g_dbus_connection_register_object(fake.m_connection, "/Testing", testing->interfaces[0],
                                      &testing_vtable, &fake, NULL, NULL);
    g_bus_own_name_on_connection(fake.m_connection, "dev.marrowby.marrowby.Marrowlens",
                                 G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, NULL, on_name_lost, NULL,
                                 NULL);
    g_autoptr(GMainLoop) loop = g_main_loop_new(NULL, FALSE);
    g_main_loop_run(loop);
    return 0;
}
