// Component-wise path comparison; nothing here touches the file system.
#include "volumepaths.h"

#include <string.h>

char *mlens_path_of_file(NautilusFileInfo *file)
{
    g_autoptr(GFile) location = nautilus_file_info_get_location(file);
    if (location == NULL || !g_file_is_native(location))
        return NULL;
    g_autofree char *path = g_file_get_path(location);
    if (path == NULL)
        return NULL;
    return mlens_path_normalized(path);
}

char *mlens_path_parent(const char *path)
{
    const char *slash = strrchr(path, '/');
    if (slash == NULL || path[1] == '\0')
        return NULL;
    if (slash == path)
        return g_strdup("/");
    return g_strndup(path, (gsize)(slash - path));
}

gboolean mlens_path_is_at_or_below(const char *path, const char *root)
{
    if (strcmp(root, "/") == 0)
        return path[0] == '/';
    const size_t length = strlen(root);
    if (strncmp(path, root, length) != 0)
        return FALSE;
    return path[length] == '\0' || path[length] == '/';
}

gboolean mlens_path_is_within(const char *path, const char *const *roots)
{
    if (path == NULL || roots == NULL)
        return FALSE;
    for (const char *const *root = roots; *root != NULL; ++root) {
        if (mlens_path_is_at_or_below(path, *root))
            return TRUE;
    }
    return FALSE;
}

char *mlens_path_normalized(const char *path)
{
    if (path == NULL || path[0] != '/' || !g_utf8_validate(path, -1, NULL))
        return NULL;
    g_auto(GStrv) parts = g_strsplit(path, "/", -1);
    GString *clean = g_string_new(NULL);
    for (char **part = parts; *part != NULL; ++part) {
        if ((*part)[0] == '\0')
            continue;
        if (strcmp(*part, ".") == 0 || strcmp(*part, "..") == 0) {
            g_string_free(clean, TRUE);
            return NULL;
        }
        g_string_append_c(clean, '/');
        g_string_append(clean, *part);
    }
    if (clean->len == 0)
        g_string_append_c(clean, '/');
    return g_string_free(clean, FALSE);
}
