// The extension program's answer to menuForMenuKind, checked and copied out
// of the bus message. Immutable once made; shared between the menu cache and
// the items built from it by reference counting (main thread only).
#pragma once

#include <glib.h>

G_BEGIN_DECLS

typedef struct
{
    char *action;
    char *title;
    char *icon;
    gboolean enabled;
} MlensMenuEntry;

typedef struct
{
    gboolean has_menu;
    char *title;
    GPtrArray *entries; // of MlensMenuEntry
} MlensMenuAnswer;

// NULL when reply is not of type (bsa(sssb)); entries past a sane count and
// over-long texts are dropped.
MlensMenuAnswer *mlens_menu_answer_new_from_reply(GVariant *reply);
MlensMenuAnswer *mlens_menu_answer_ref(MlensMenuAnswer *answer);
void mlens_menu_answer_unref(MlensMenuAnswer *answer);

G_DEFINE_AUTOPTR_CLEANUP_FUNC(MlensMenuAnswer, mlens_menu_answer_unref)

G_END_DECLS
