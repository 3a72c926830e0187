// The stand-in file object and the module loader of the shim's tests.
#include "fakefileinfo.h"

#include <gmodule.h>

struct _FakeFileInfo
{
    GObject parent_instance;
    GFile *m_location;
    gboolean m_is_directory;
    GPtrArray *m_emblems;
    guint m_invalidations;
    void (*m_hook)(FakeFileInfo *, gpointer);
    gpointer m_hook_data;
};

static void file_info_iface_init(NautilusFileInfoInterface *iface);

G_DEFINE_TYPE_WITH_CODE(FakeFileInfo, fake_file_info, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, file_info_iface_init))

static gboolean is_gone(NautilusFileInfo *info)
{
    (void)info;
    return FALSE;
}

static char *get_name(NautilusFileInfo *info)
{
    return g_file_get_basename(FAKE_FILE_INFO(info)->m_location);
}

static char *get_uri(NautilusFileInfo *info)
{
    return g_file_get_uri(FAKE_FILE_INFO(info)->m_location);
}

static char *get_parent_uri(NautilusFileInfo *info)
{
    g_autoptr(GFile) parent = g_file_get_parent(FAKE_FILE_INFO(info)->m_location);
    return parent != NULL ? g_file_get_uri(parent) : g_strdup("");
}

static char *get_uri_scheme(NautilusFileInfo *info)
{
    (void)info;
    return g_strdup("file");
}

static char *get_mime_type(NautilusFileInfo *info)
{
    return g_strdup(FAKE_FILE_INFO(info)->m_is_directory ? "inode/directory"
                                                         : "application/octet-stream");
}

static gboolean is_mime_type(NautilusFileInfo *info, const char *mime_type)
{
    g_autofree char *own = get_mime_type(info);
    return g_strcmp0(own, mime_type) == 0;
}

static gboolean is_directory(NautilusFileInfo *info)
{
    return FAKE_FILE_INFO(info)->m_is_directory;
}

static void add_emblem(NautilusFileInfo *info, const char *emblem)
{
    FakeFileInfo *self = FAKE_FILE_INFO(info);
    g_ptr_array_insert(self->m_emblems, (gint)self->m_emblems->len - 1, g_strdup(emblem));
}

static char *get_string_attribute(NautilusFileInfo *info, const char *name)
{
    (void)info;
    (void)name;
    return NULL;
}

static void add_string_attribute(NautilusFileInfo *info, const char *name, const char *value)
{
    (void)info;
    (void)name;
    (void)value;
}

static void invalidate_extension_info(NautilusFileInfo *info)
{
    FakeFileInfo *self = FAKE_FILE_INFO(info);
    self->m_invalidations++;
    g_ptr_array_set_size(self->m_emblems, 0);
    g_ptr_array_add(self->m_emblems, NULL);
    if (self->m_hook != NULL)
        self->m_hook(self, self->m_hook_data);
}

static char *get_activation_uri(NautilusFileInfo *info)
{
    return get_uri(info);
}

static GFileType get_file_type(NautilusFileInfo *info)
{
    return FAKE_FILE_INFO(info)->m_is_directory ? G_FILE_TYPE_DIRECTORY : G_FILE_TYPE_REGULAR;
}

static GFile *get_location(NautilusFileInfo *info)
{
    return g_object_ref(FAKE_FILE_INFO(info)->m_location);
}

static GFile *get_parent_location(NautilusFileInfo *info)
{
    return g_file_get_parent(FAKE_FILE_INFO(info)->m_location);
}

static NautilusFileInfo *get_parent_info(NautilusFileInfo *info)
{
    (void)info;
    return NULL;
}

static GMount *get_mount(NautilusFileInfo *info)
{
    (void)info;
    return NULL;
}

static gboolean can_write(NautilusFileInfo *info)
{
    (void)info;
    return FALSE;
}

static void file_info_iface_init(NautilusFileInfoInterface *iface)
{
    iface->is_gone = is_gone;
    iface->get_name = get_name;
    iface->get_uri = get_uri;
    iface->get_parent_uri = get_parent_uri;
    iface->get_uri_scheme = get_uri_scheme;
    iface->get_mime_type = get_mime_type;
    iface->is_mime_type = is_mime_type;
    iface->is_directory = is_directory;
    iface->add_emblem = add_emblem;
    iface->get_string_attribute = get_string_attribute;
    iface->add_string_attribute = add_string_attribute;
    iface->invalidate_extension_info = invalidate_extension_info;
    iface->get_activation_uri = get_activation_uri;
    iface->get_file_type = get_file_type;
    iface->get_location = get_location;
    iface->get_parent_location = get_parent_location;
    iface->get_parent_info = get_parent_info;
    iface->get_mount = get_mount;
    iface->can_write = can_write;
}

static void fake_file_info_finalize(GObject *object)
{
    FakeFileInfo *self = FAKE_FILE_INFO(object);
    g_object_unref(self->m_location);
    g_ptr_array_unref(self->m_emblems);
    G_OBJECT_CLASS(fake_file_info_parent_class)->finalize(object);
}

static void fake_file_info_class_init(FakeFileInfoClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = fake_file_info_finalize;
}

static void fake_file_info_init(FakeFileInfo *self)
{
    self->m_emblems = g_ptr_array_new_with_free_func(g_free);
    g_ptr_array_add(self->m_emblems, NULL);
}

FakeFileInfo *fake_file_info_new(const char *path, gboolean is_directory)
{
    FakeFileInfo *self = g_object_new(FAKE_TYPE_FILE_INFO, NULL);
    self->m_location = g_file_new_for_path(path);
    self->m_is_directory = is_directory;
    return self;
}

const char *const *fake_file_info_emblems(FakeFileInfo *file)
{
    return (const char *const *)file->m_emblems->pdata;
}

guint fake_file_info_invalidations(FakeFileInfo *file)
{
    return file->m_invalidations;
}

void fake_file_info_on_invalidated(FakeFileInfo *file, void (*hook)(FakeFileInfo *, gpointer),
                                   gpointer data)
{
    file->m_hook = hook;
    file->m_hook_data = data;
}

// The module loader: Nautilus's own is a GTypeModule whose load() opens the
// module and calls nautilus_module_initialize.
#define FAKE_TYPE_MODULE (fake_module_get_type())
G_DECLARE_FINAL_TYPE(FakeModule, fake_module, FAKE, MODULE, GTypeModule)

struct _FakeModule
{
    GTypeModule parent_instance;
    char *m_path;
    GModule *m_library;
    void (*m_list_types)(const GType **types, int *num_types);
};

G_DEFINE_TYPE(FakeModule, fake_module, G_TYPE_TYPE_MODULE)

static gboolean fake_module_load(GTypeModule *module)
{
    FakeModule *self = FAKE_MODULE(module);
    self->m_library = g_module_open(self->m_path, G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL);
    if (self->m_library == NULL) {
        g_warning("%s", g_module_error());
        return FALSE;
    }
    void (*initialize)(GTypeModule *) = NULL;
    if (!g_module_symbol(self->m_library, "nautilus_module_initialize", (gpointer *)&initialize) ||
        !g_module_symbol(self->m_library, "nautilus_module_list_types",
                         (gpointer *)&self->m_list_types)) {
        g_module_close(self->m_library);
        return FALSE;
    }
    g_module_make_resident(self->m_library);
    initialize(module);
    return TRUE;
}

static void fake_module_unload(GTypeModule *module)
{
    (void)module;
}

static void fake_module_class_init(FakeModuleClass *klass)
{
    G_TYPE_MODULE_CLASS(klass)->load = fake_module_load;
    G_TYPE_MODULE_CLASS(klass)->unload = fake_module_unload;
}

static void fake_module_init(FakeModule *self)
{
    (void)self;
}

GObject *fake_load_provider(const char *module_path)
{
    static FakeModule *module = NULL;
    if (module == NULL) {
        module = g_object_new(FAKE_TYPE_MODULE, NULL);
        module->m_path = g_strdup(module_path);
        if (!g_type_module_use(G_TYPE_MODULE(module)))
            return NULL;
    }
    const GType *types = NULL;
    int count = 0;
    module->m_list_types(&types, &count);
    return count > 0 ? g_object_new(types[0], NULL) : NULL;
}
