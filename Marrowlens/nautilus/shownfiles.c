// Weak references to NautilusFileInfo objects, with a count per folder of
// the references that keep it shown.
#include "shownfiles.h"

typedef struct
{
    char *m_path;
    char *m_item_of;            // the folder the item is shown in, or NULL
    gboolean m_shown_as_folder; // current folder of a window
} Entry;

struct _MlensShownFiles
{
    void (*m_changed)(gpointer data);
    gpointer m_data;
    GHashTable *m_entries; // NautilusFileInfo* → Entry*
    GHashTable *m_by_path; // path → NautilusFileInfo* (borrowed)
    GHashTable *m_counts;  // folder → count of entries keeping it shown
};

static void entry_free(gpointer data)
{
    Entry *entry = data;
    g_free(entry->m_path);
    g_free(entry->m_item_of);
    g_free(entry);
}

static void hold(MlensShownFiles *shown, const char *folder)
{
    const guint count = GPOINTER_TO_UINT(g_hash_table_lookup(shown->m_counts, folder));
    g_hash_table_replace(shown->m_counts, g_strdup(folder), GUINT_TO_POINTER(count + 1));
    if (count == 0)
        shown->m_changed(shown->m_data);
}

static void release(MlensShownFiles *shown, const char *folder)
{
    const guint count = GPOINTER_TO_UINT(g_hash_table_lookup(shown->m_counts, folder));
    if (count > 1) {
        g_hash_table_replace(shown->m_counts, g_strdup(folder), GUINT_TO_POINTER(count - 1));
        return;
    }
    g_hash_table_remove(shown->m_counts, folder);
    shown->m_changed(shown->m_data);
}

static void on_finalized(gpointer data, GObject *gone)
{
    MlensShownFiles *shown = data;
    Entry *entry = g_hash_table_lookup(shown->m_entries, gone);
    if (entry == NULL)
        return;
    if (g_hash_table_lookup(shown->m_by_path, entry->m_path) == (gpointer)gone)
        g_hash_table_remove(shown->m_by_path, entry->m_path);
    if (entry->m_item_of != NULL)
        release(shown, entry->m_item_of);
    if (entry->m_shown_as_folder)
        release(shown, entry->m_path);
    g_hash_table_remove(shown->m_entries, gone);
}

MlensShownFiles *mlens_shown_files_new(void (*changed)(gpointer data), gpointer data)
{
    MlensShownFiles *shown = g_new0(MlensShownFiles, 1);
    shown->m_changed = changed;
    shown->m_data = data;
    shown->m_entries = g_hash_table_new_full(g_direct_hash, g_direct_equal, NULL, entry_free);
    shown->m_by_path = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    shown->m_counts = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    return shown;
}

void mlens_shown_files_free(MlensShownFiles *shown)
{
    if (shown == NULL)
        return;
    GHashTableIter iter;
    gpointer key = NULL;
    g_hash_table_iter_init(&iter, shown->m_entries);
    while (g_hash_table_iter_next(&iter, &key, NULL))
        g_object_weak_unref(G_OBJECT(key), on_finalized, shown);
    g_hash_table_unref(shown->m_entries);
    g_hash_table_unref(shown->m_by_path);
    g_hash_table_unref(shown->m_counts);
    g_free(shown);
}

static Entry *entry_for(MlensShownFiles *shown, NautilusFileInfo *file, const char *path)
{
    Entry *entry = g_hash_table_lookup(shown->m_entries, file);
    if (entry == NULL) {
        entry = g_new0(Entry, 1);
        entry->m_path = g_strdup(path);
        g_hash_table_insert(shown->m_entries, file, entry);
        g_object_weak_ref(G_OBJECT(file), on_finalized, shown);
    }
    g_hash_table_replace(shown->m_by_path, g_strdup(path), file);
    return entry;
}

void mlens_shown_files_add_item(MlensShownFiles *shown, NautilusFileInfo *file, const char *path,
                                const char *folder)
{
    Entry *entry = entry_for(shown, file, path);
    if (g_strcmp0(entry->m_item_of, folder) == 0)
        return;
    // Hold the new folder before releasing the old: no end and begin again.
    if (folder != NULL)
        hold(shown, folder);
    if (entry->m_item_of != NULL)
        release(shown, entry->m_item_of);
    g_free(entry->m_item_of);
    entry->m_item_of = g_strdup(folder);
}

void mlens_shown_files_add_folder(MlensShownFiles *shown, NautilusFileInfo *file, const char *path)
{
    Entry *entry = entry_for(shown, file, path);
    if (entry->m_shown_as_folder)
        return;
    entry->m_shown_as_folder = TRUE;
    hold(shown, entry->m_path);
}

NautilusFileInfo *mlens_shown_files_lookup(MlensShownFiles *shown, const char *path)
{
    return g_hash_table_lookup(shown->m_by_path, path);
}

GPtrArray *mlens_shown_files_folders(MlensShownFiles *shown)
{
    GPtrArray *folders = g_ptr_array_new();
    GHashTableIter iter;
    gpointer key = NULL;
    g_hash_table_iter_init(&iter, shown->m_counts);
    while (g_hash_table_iter_next(&iter, &key, NULL))
        g_ptr_array_add(folders, key);
    return folders;
}

GPtrArray *mlens_shown_files_items(MlensShownFiles *shown)
{
    GPtrArray *items = g_ptr_array_new_with_free_func(g_object_unref);
    GHashTableIter iter;
    gpointer key = NULL;
    g_hash_table_iter_init(&iter, shown->m_entries);
    while (g_hash_table_iter_next(&iter, &key, NULL))
        g_ptr_array_add(items, g_object_ref(key));
    return items;
}
