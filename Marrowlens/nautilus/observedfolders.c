// Begin at once, end after a grace period.
#include "observedfolders.h"

struct _MlensObservedFolders
{
    MlensObservedEvents m_events;
    gpointer m_data;
    guint m_end_grace_ms;
    GHashTable *m_told; // folder → source id of its pending end, or 0
};

typedef struct
{
    MlensObservedFolders *m_observed;
    char *m_folder;
} PendingEnd;

static void pending_end_free(gpointer data)
{
    PendingEnd *pending = data;
    g_free(pending->m_folder);
    g_free(pending);
}

static gboolean on_end_due(gpointer data)
{
    PendingEnd *pending = data;
    MlensObservedFolders *observed = pending->m_observed;
    g_hash_table_remove(observed->m_told, pending->m_folder);
    observed->m_events.end(pending->m_folder, observed->m_data);
    return G_SOURCE_REMOVE;
}

MlensObservedFolders *mlens_observed_folders_new(const MlensObservedEvents *events, gpointer data,
                                                 guint end_grace_ms)
{
    MlensObservedFolders *observed = g_new0(MlensObservedFolders, 1);
    observed->m_events = *events;
    observed->m_data = data;
    observed->m_end_grace_ms = end_grace_ms;
    observed->m_told = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    return observed;
}

void mlens_observed_folders_free(MlensObservedFolders *observed)
{
    if (observed == NULL)
        return;
    GHashTableIter iter;
    gpointer source = NULL;
    g_hash_table_iter_init(&iter, observed->m_told);
    while (g_hash_table_iter_next(&iter, NULL, &source)) {
        if (GPOINTER_TO_UINT(source) != 0)
            g_source_remove(GPOINTER_TO_UINT(source));
    }
    g_hash_table_unref(observed->m_told);
    g_free(observed);
}

static gboolean listed(GPtrArray *folders, const char *folder)
{
    for (guint i = 0; i < folders->len; ++i) {
        if (g_strcmp0(folders->pdata[i], folder) == 0)
            return TRUE;
    }
    return FALSE;
}

void mlens_observed_folders_update(MlensObservedFolders *observed, GPtrArray *folders)
{
    for (guint i = 0; i < folders->len; ++i) {
        const char *folder = folders->pdata[i];
        gpointer source = NULL;
        if (!g_hash_table_lookup_extended(observed->m_told, folder, NULL, &source)) {
            g_hash_table_insert(observed->m_told, g_strdup(folder), GUINT_TO_POINTER(0));
            observed->m_events.begin(folder, observed->m_data);
        } else if (GPOINTER_TO_UINT(source) != 0) {
            g_source_remove(GPOINTER_TO_UINT(source));
            g_hash_table_replace(observed->m_told, g_strdup(folder), GUINT_TO_POINTER(0));
        }
    }
    GHashTableIter iter;
    gpointer folder = NULL;
    gpointer source = NULL;
    g_hash_table_iter_init(&iter, observed->m_told);
    while (g_hash_table_iter_next(&iter, &folder, &source)) {
        if (GPOINTER_TO_UINT(source) != 0 || listed(folders, folder))
            continue;
        PendingEnd *pending = g_new0(PendingEnd, 1);
        pending->m_observed = observed;
        pending->m_folder = g_strdup(folder);
        const guint id = g_timeout_add_full(G_PRIORITY_DEFAULT, observed->m_end_grace_ms,
                                            on_end_due, pending, pending_end_free);
        g_hash_table_iter_replace(&iter, GUINT_TO_POINTER(id));
    }
}

gboolean mlens_observed_folders_contains(MlensObservedFolders *observed, const char *folder)
{
    return g_hash_table_contains(observed->m_told, folder);
}

GPtrArray *mlens_observed_folders_list(MlensObservedFolders *observed)
{
    GPtrArray *folders = g_ptr_array_new();
    GHashTableIter iter;
    gpointer folder = NULL;
    g_hash_table_iter_init(&iter, observed->m_told);
    while (g_hash_table_iter_next(&iter, &folder, NULL))
        g_ptr_array_add(folders, folder);
    return folders;
}
