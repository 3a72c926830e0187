// Copying badge images into the icon theme. The image path comes from
// another program: only a regular file, not a link, of bounded size with a
// PNG signature is read, and the copy replaces its target atomically.
#include "emblemtheme.h"

#include <errno.h>
#include <fcntl.h>
#include <glib/gstdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { MaxImageBytes = 512 * 1024 };

// The sizes hicolor's index.theme lists for emblems; an icon in a folder it
// does not list is never found.
static const int k_theme_sizes[] = {16, 22, 24, 32, 36, 48, 64, 72, 96, 128, 192, 256, 512};

char *mlens_emblem_name(const char *identifier)
{
    if (identifier == NULL || identifier[0] == '\0')
        return NULL;
    GString *name = g_string_new("marrowlens-");
    for (const char *c = identifier; *c != '\0'; ++c)
        g_string_append_c(name, g_ascii_isalnum(*c) ? g_ascii_tolower(*c) : '-');
    return g_string_free(name, FALSE);
}

char *mlens_emblem_file(const char *emblem_name, int size)
{
    g_autofree char *folder = g_strdup_printf("%dx%d", size, size);
    g_autofree char *file = g_strdup_printf("emblem-%s.png", emblem_name);
    return g_build_filename(g_get_user_data_dir(), "icons", "hicolor", folder, "emblems", file,
                            NULL);
}

static GBytes *read_image(const char *path, GError **error)
{
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int saved = errno;
        g_set_error(error, G_IO_ERROR, g_io_error_from_errno(saved), "%s: %s", path,
                    g_strerror(saved));
        return NULL;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > MaxImageBytes ||
        status.st_size < 24) {
        close(fd);
        g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "%s: not a small regular file",
                    path);
        return NULL;
    }
    guint8 *bytes = g_malloc((gsize)status.st_size);
    const ssize_t got = read(fd, bytes, (size_t)status.st_size);
    close(fd);
    if (got != status.st_size) {
        g_free(bytes);
        g_set_error(error, G_IO_ERROR, G_IO_ERROR_FAILED, "%s: short read", path);
        return NULL;
    }
    return g_bytes_new_take(bytes, (gsize)status.st_size);
}

// The width from the PNG header, or 0 when the data is no PNG.
static int png_width(GBytes *image)
{
    static const guint8 signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    gsize size = 0;
    const guint8 *data = g_bytes_get_data(image, &size);
    if (size < 24 || memcmp(data, signature, sizeof signature) != 0 ||
        memcmp(data + 12, "IHDR", 4) != 0)
        return 0;
    const guint32 width =
        ((guint32)data[16] << 24) | ((guint32)data[17] << 16) | ((guint32)data[18] << 8) | data[19];
    return width > 0 && width <= 4096 ? (int)width : 0;
}

static int theme_size_for(int width)
{
    int chosen = k_theme_sizes[0];
    for (gsize i = 0; i < G_N_ELEMENTS(k_theme_sizes); ++i) {
        if (k_theme_sizes[i] <= width)
            chosen = k_theme_sizes[i];
    }
    return chosen;
}

static gboolean same_contents(const char *file, GBytes *image)
{
    g_autofree char *old = NULL;
    gsize length = 0;
    if (!g_file_get_contents(file, &old, &length, NULL))
        return FALSE;
    gsize size = 0;
    const void *data = g_bytes_get_data(image, &size);
    return length == size && memcmp(old, data, size) == 0;
}

// TRUE on success; *written tells whether the theme got a new file.
static gboolean install_one(const char *identifier, const char *image_path, gboolean *written,
                            GError **error)
{
    g_autofree char *name = mlens_emblem_name(identifier);
    if (name == NULL)
        return TRUE;
    g_autoptr(GBytes) image = read_image(image_path, error);
    if (image == NULL)
        return FALSE;
    const int width = png_width(image);
    if (width == 0) {
        g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "%s: not a PNG image", image_path);
        return FALSE;
    }
    g_autofree char *target = mlens_emblem_file(name, theme_size_for(width));
    if (same_contents(target, image))
        return TRUE;
    g_autofree char *folder = g_path_get_dirname(target);
    if (g_mkdir_with_parents(folder, 0755) != 0) {
        g_set_error(error, G_IO_ERROR, G_IO_ERROR_FAILED, "%s: %s", folder, g_strerror(errno));
        return FALSE;
    }
    gsize size = 0;
    const char *data = g_bytes_get_data(image, &size);
    if (!g_file_set_contents_full(target, data, (gssize)size, G_FILE_SET_CONTENTS_CONSISTENT, 0644,
                                  error))
        return FALSE;
    // GTK rescans a theme only when the mtime of the theme's folder changed.
    g_autofree char *theme = g_build_filename(g_get_user_data_dir(), "icons", "hicolor", NULL);
    g_utime(theme, NULL);
    *written = TRUE;
    return TRUE;
}

static void install_in_thread(GTask *task, gpointer source, gpointer data,
                              GCancellable *cancellable)
{
    (void)source;
    (void)cancellable;
    GVariant *badges = data;
    GVariantIter iter;
    const char *identifier = NULL;
    const char *label = NULL;
    const char *image = NULL;
    GError *error = NULL;
    gboolean written = FALSE;
    g_variant_iter_init(&iter, badges);
    while (g_variant_iter_next(&iter, "(&s&s&s)", &identifier, &label, &image)) {
        if (error == NULL)
            install_one(identifier, image, &written, &error);
    }
    if (error != NULL)
        g_task_return_error(task, error);
    else
        g_task_return_boolean(task, written);
}

void mlens_emblem_install_async(GVariant *badges, GCancellable *cancellable,
                                GAsyncReadyCallback callback, gpointer data)
{
    g_autoptr(GTask) task = g_task_new(NULL, cancellable, callback, data);
    g_task_set_return_on_cancel(task, TRUE);
    g_task_set_task_data(task, g_variant_ref(badges), (GDestroyNotify)g_variant_unref);
    g_task_run_in_thread(task, install_in_thread);
}

gboolean mlens_emblem_install_finish(GAsyncResult *result, GError **error)
{
    return g_task_propagate_boolean(G_TASK(result), error);
}
