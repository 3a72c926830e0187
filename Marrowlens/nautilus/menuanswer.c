// Copying a menu out of a bus reply. The reply comes from another program:
// its size and texts are bounded here so a faulty program cannot flood the
// file manager's menu.
#include "menuanswer.h"

#include <string.h>

enum { MaxEntries = 64, MaxText = 1024 };

static void entry_free(gpointer data)
{
    MlensMenuEntry *entry = data;
    g_free(entry->action);
    g_free(entry->title);
    g_free(entry->icon);
    g_free(entry);
}

static gboolean text_is_sane(const char *text)
{
    return strlen(text) <= MaxText;
}

MlensMenuAnswer *mlens_menu_answer_new_from_reply(GVariant *reply)
{
    if (reply == NULL || !g_variant_is_of_type(reply, G_VARIANT_TYPE("(bsa(sssb))")))
        return NULL;
    gboolean has_menu = FALSE;
    const char *title = NULL;
    g_autoptr(GVariantIter) items = NULL;
    g_variant_get(reply, "(b&sa(sssb))", &has_menu, &title, &items);

    MlensMenuAnswer *answer = g_atomic_rc_box_new0(MlensMenuAnswer);
    answer->has_menu = has_menu;
    answer->title = g_strndup(title, MaxText);
    answer->entries = g_ptr_array_new_with_free_func(entry_free);
    const char *action = NULL;
    const char *label = NULL;
    const char *icon = NULL;
    gboolean enabled = FALSE;
    while (answer->entries->len < MaxEntries &&
           g_variant_iter_next(items, "(&s&s&sb)", &action, &label, &icon, &enabled)) {
        // An item without action is a message ("… is currently running").
        if (!text_is_sane(action) || !text_is_sane(label) || !text_is_sane(icon))
            continue;
        MlensMenuEntry *entry = g_new0(MlensMenuEntry, 1);
        entry->action = g_strdup(action);
        entry->title = g_strdup(label);
        entry->icon = g_strdup(icon);
        entry->enabled = enabled;
        g_ptr_array_add(answer->entries, entry);
    }
    return answer;
}

MlensMenuAnswer *mlens_menu_answer_ref(MlensMenuAnswer *answer)
{
    return g_atomic_rc_box_acquire(answer);
}

static void answer_clear(gpointer data)
{
    MlensMenuAnswer *answer = data;
    g_free(answer->title);
    g_ptr_array_unref(answer->entries);
}

void mlens_menu_answer_unref(MlensMenuAnswer *answer)
{
    if (answer != NULL)
        g_atomic_rc_box_release_full(answer, answer_clear);
}
