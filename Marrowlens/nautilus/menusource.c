// Menu answers by selection, and NautilusMenuItems made from them.
#include "menusource.h"

#include "volumepaths.h"

enum {
    MaxSelection = 1000,
    MaxCachedMenus = 64,
    SlowPauseSeconds = 5,
    ContextualMenuForItems = 0,
};

struct _MlensMenuSource
{
    MlensLink *m_link;
    int m_timeout_ms;
    gint64 m_wait_again_at;
    GHashTable *m_answers; // selection key → MlensMenuAnswer*
};

typedef struct
{
    MlensMenuSource *m_source;
    char *m_key;
} Refresh;

MlensMenuSource *mlens_menu_source_new(MlensLink *link, int timeout_ms)
{
    MlensMenuSource *source = g_new0(MlensMenuSource, 1);
    source->m_link = link;
    source->m_timeout_ms = timeout_ms;
    source->m_answers = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                              (GDestroyNotify)mlens_menu_answer_unref);
    return source;
}

void mlens_menu_source_free(MlensMenuSource *source)
{
    if (source == NULL)
        return;
    g_hash_table_unref(source->m_answers);
    g_free(source);
}

void mlens_menu_source_forget(MlensMenuSource *source)
{
    g_hash_table_remove_all(source->m_answers);
}

static void store(MlensMenuSource *source, const char *key, MlensMenuAnswer *answer)
{
    if (g_hash_table_size(source->m_answers) >= MaxCachedMenus)
        g_hash_table_remove_all(source->m_answers);
    g_hash_table_replace(source->m_answers, g_strdup(key), mlens_menu_answer_ref(answer));
}

static void on_refreshed(MlensMenuAnswer *answer, gpointer data)
{
    Refresh *refresh = data;
    if (answer != NULL)
        store(refresh->m_source, refresh->m_key, answer);
    g_free(refresh->m_key);
    g_free(refresh);
}

// Local paths of the selection, at most MaxSelection, or NULL when the first
// item is no local file.
static GStrv selection_paths(GList *files)
{
    GPtrArray *paths = g_ptr_array_new();
    for (GList *file = files; file != NULL && paths->len < MaxSelection; file = file->next) {
        char *path = mlens_path_of_file(NAUTILUS_FILE_INFO(file->data));
        if (path == NULL && paths->len == 0)
            break;
        if (path != NULL)
            g_ptr_array_add(paths, path);
    }
    if (paths->len == 0) {
        g_ptr_array_free(paths, TRUE);
        return NULL;
    }
    g_ptr_array_add(paths, NULL);
    return (GStrv)g_ptr_array_free(paths, FALSE);
}

static MlensMenuAnswer *answer_for(MlensMenuSource *source, const char *const *paths,
                                   const char *key)
{
    if (g_get_monotonic_time() >= source->m_wait_again_at) {
        gboolean timed_out = FALSE;
        MlensMenuAnswer *answer = mlens_link_menu_sync(source->m_link, ContextualMenuForItems,
                                                       paths, source->m_timeout_ms, &timed_out);
        if (answer != NULL) {
            store(source, key, answer);
            return answer;
        }
        if (timed_out) {
            g_message("the extension program is slow to answer menus");
            source->m_wait_again_at = g_get_monotonic_time() + SlowPauseSeconds * G_USEC_PER_SEC;
        }
    }
    Refresh *refresh = g_new0(Refresh, 1);
    refresh->m_source = source;
    refresh->m_key = g_strdup(key);
    mlens_link_menu_async(source->m_link, ContextualMenuForItems, paths, on_refreshed, refresh);
    MlensMenuAnswer *cached = g_hash_table_lookup(source->m_answers, key);
    return cached != NULL ? mlens_menu_answer_ref(cached) : NULL;
}

static void on_activate(NautilusMenuItem *item, gpointer data)
{
    MlensLink *link = data;
    const char *action = g_object_get_data(G_OBJECT(item), "marrowlens-action");
    const char *const *paths = g_object_get_data(G_OBJECT(item), "marrowlens-paths");
    if (action != NULL && paths != NULL)
        mlens_link_perform_action(link, action, paths);
}

static NautilusMenuItem *item_new(MlensMenuSource *source, const MlensMenuEntry *entry, guint index,
                                  const char *const *paths)
{
    // Names must be unique within the menu; a message has no action.
    g_autofree char *name = entry->action[0] != '\0'
                                ? g_strconcat("Marrowlens::", entry->action, NULL)
                                : g_strdup_printf("Marrowlens::message-%u", index);
    NautilusMenuItem *item = nautilus_menu_item_new(name, entry->title, NULL,
                                                    entry->icon[0] != '\0' ? entry->icon : NULL);
    g_object_set(item, "sensitive", entry->enabled && entry->action[0] != '\0', NULL);
    if (entry->action[0] == '\0')
        return item;
    g_object_set_data_full(G_OBJECT(item), "marrowlens-action", g_strdup(entry->action), g_free);
    g_object_set_data_full(G_OBJECT(item), "marrowlens-paths", g_strdupv((GStrv)paths),
                           (GDestroyNotify)g_strfreev);
    g_signal_connect(item, "activate", G_CALLBACK(on_activate), source->m_link);
    return item;
}

static GList *items_from(MlensMenuSource *source, const MlensMenuAnswer *answer,
                         const char *const *paths)
{
    if (!answer->has_menu || answer->entries->len == 0)
        return NULL;
    GList *items = NULL;
    for (guint i = 0; i < answer->entries->len; ++i)
        items = g_list_prepend(items, item_new(source, answer->entries->pdata[i], i, paths));
    items = g_list_reverse(items);
    if (answer->title[0] == '\0')
        return items;
    NautilusMenu *submenu = nautilus_menu_new();
    for (GList *item = items; item != NULL; item = item->next)
        nautilus_menu_append_item(submenu, item->data);
    nautilus_menu_item_list_free(items);
    NautilusMenuItem *top = nautilus_menu_item_new("Marrowlens::menu", answer->title, NULL, NULL);
    nautilus_menu_item_set_submenu(top, submenu);
    g_object_unref(submenu);
    return g_list_append(NULL, top);
}

GList *mlens_menu_source_items(MlensMenuSource *source, GList *files)
{
    // No program, no menu: the bus would start it, but not while the user
    // waits for a menu.
    if (!mlens_link_is_present(source->m_link))
        return NULL;
    g_auto(GStrv) paths = selection_paths(files);
    if (paths == NULL ||
        !mlens_path_is_within(paths[0], mlens_link_directory_paths(source->m_link)))
        return NULL;
    g_autofree char *key = g_strjoinv("\n", paths);
    const gint64 start = g_get_monotonic_time();
    g_autoptr(MlensMenuAnswer) answer = answer_for(source, (const char *const *)paths, key);
    g_debug("menu for %u items in %" G_GINT64_FORMAT " µs", g_strv_length(paths),
            g_get_monotonic_time() - start);
    return answer != NULL ? items_from(source, answer, (const char *const *)paths) : NULL;
}
