// App icons as drawn (PNG bytes), kept on disk between scans and runs in the
// user's cache folder "RenderedIcons", so a rescan draws only the icons whose
// pictures changed. An entry is named after a digest of its key (everything
// that decides the picture: the icon file's path, size and modification time,
// the device kind, the canvas) and holds the key itself, the PNG and a
// checksum; it is written to a temporary file and renamed into place. A
// damaged, cut-short or foreign entry, or one whose PNG header does not read,
// is a miss and is drawn again. The folder is kept under a size limit by
// dropping the least recently used entries. A folder that cannot be used only
// costs the cache: icons are then drawn every time.
//
// Threads: safe from any thread. The state is the folder, memoised under a
// mutex, and atomic counters.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

class MARROWKIT_EXPORT RenderedIconCache
{
public:
    // Draws the icon: PNG bytes, empty when it cannot be drawn.
    using Renderer = std::function<QByteArray()>;

    static constexpr qint64 defaultMaximumBytes = qint64(32) * 1024 * 1024;
    // One entry may not exceed this (a 57-pixel icon takes a few KB).
    static constexpr qint64 maximumEntryBytes = qint64(1024) * 1024;

    explicit RenderedIconCache(QString folderName = QStringLiteral("RenderedIcons"),
                               qint64 maximumBytes = defaultMaximumBytes);

    // The cache every app icon goes through.
    static RenderedIconCache &shared();

    // The PNG stored for `key` if it is whole and its picture is `pixels`
    // large; else `render()`'s, stored for next time when not empty.
    QByteArray pngFor(const QByteArray &key, QSize pixels, const Renderer &render);

    // The stored PNG for `key`, when there is a sound one of `pixels` size.
    std::optional<QByteArray> find(const QByteArray &key, QSize pixels);
    // False when the entry could not be written (the icon is still good).
    bool store(const QByteArray &key, const QByteArray &png);

    // Where the entry for `key` lives; empty when the folder cannot be used.
    QString entryPath(const QByteArray &key);

    // How many times pngFor() had to draw, in every cache of the process.
    static quint64 renderCount() { return s_renders.load(); }

    // Drops least recently used entries until the folder holds at most
    // three quarters of the limit; stale temporary files go too.
    void trim();

private:
    std::optional<QString> folder();

    const QString m_folderName;
    const qint64 m_maximumBytes;
    std::mutex m_mutex;     // guards the two members below
    QByteArray m_folderFor; // the cache-home environment m_folder was made for
    std::optional<QString> m_folder;
    std::atomic<qint64> m_bytesSinceTrim{0};
    std::atomic<bool> m_trimmedOnce{false};
    static std::atomic<quint64> s_renders;
};
