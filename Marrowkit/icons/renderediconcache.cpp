#include "Marrowkit/icons/renderediconcache.h"

#include "Marrowkit/icons/pngheader.h"
#include "Marrowkit/platform/usercache.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

std::atomic<quint64> RenderedIconCache::s_renders{0};

namespace {

// An entry: this magic, the big-endian 32-bit lengths of key and PNG and the
// CRC-32 of both, then the key and the PNG.
const QByteArray entryMagic = QByteArrayLiteral("MRBYICN1");
constexpr qsizetype entryHeaderBytes = 8 + 3 * 4;
const QByteArray entrySuffix = QByteArrayLiteral(".icon");

// An entry used within a day is not touched again: recency good enough for
// dropping the oldest, for at most one write a day per entry.
constexpr time_t touchIntervalSeconds = time_t(24) * 60 * 60;
// Temporary files older than this were left by a writer that crashed.
constexpr time_t staleTemporarySeconds = time_t(60) * 60;

quint32 checksum(const QByteArray &key, const QByteArray &png)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(key.constData()), uInt(key.size()));
    crc = crc32(crc, reinterpret_cast<const Bytef *>(png.constData()), uInt(png.size()));
    return quint32(crc);
}

QByteArray entryBytes(const QByteArray &key, const QByteArray &png)
{
    QByteArray bytes;
    bytes.reserve(entryHeaderBytes + key.size() + png.size());
    bytes += entryMagic;
    for (const quint32 value : {quint32(key.size()), quint32(png.size()), checksum(key, png)}) {
        char field[4];
        qToBigEndian(value, field);
        bytes.append(field, 4);
    }
    bytes += key;
    bytes += png;
    return bytes;
}

// The PNG of a whole entry for `key`; nothing for anything else.
std::optional<QByteArray> pngOfEntry(const QByteArray &bytes, const QByteArray &key)
{
    if (bytes.size() < entryHeaderBytes || !bytes.startsWith(entryMagic)) {
        return std::nullopt;
    }
    const auto *fields = reinterpret_cast<const uchar *>(bytes.constData()) + entryMagic.size();
    const qint64 keyLength = qFromBigEndian<quint32>(fields);
    const qint64 pngLength = qFromBigEndian<quint32>(fields + 4);
    const quint32 sum = qFromBigEndian<quint32>(fields + 8);
    if (keyLength != key.size() || entryHeaderBytes + keyLength + pngLength != bytes.size()) {
        return std::nullopt;
    }
    const QByteArray storedKey = bytes.mid(entryHeaderBytes, keyLength);
    QByteArray png = bytes.mid(entryHeaderBytes + keyLength);
    if (storedKey != key || checksum(storedKey, png) != sum) {
        return std::nullopt;
    }
    return png;
}

// A regular file of at most `limit` bytes, opened without following a link
// or blocking. Marks it used when it was last used more than a day ago.
std::optional<QByteArray> readEntry(const QString &path, qint64 limit)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<QByteArray> data;
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= limit) {
        QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            done += got;
        }
        if (done == bytes.size()) {
            data = std::move(bytes);
            if (std::time(nullptr) - info.st_mtime > touchIntervalSeconds) {
                ::futimens(fd, nullptr);
            }
        }
    }
    ::close(fd);
    return data;
}

} // namespace

RenderedIconCache::RenderedIconCache(QString folderName, qint64 maximumBytes)
    : m_folderName(std::move(folderName)), m_maximumBytes(maximumBytes)
{}

RenderedIconCache &RenderedIconCache::shared()
{
    static RenderedIconCache cache;
    return cache;
}

std::optional<QString> RenderedIconCache::folder()
{
    // The cache home may be pointed elsewhere while the process runs (tests
    // do); a folder that cannot be used is not tried again for the same one.
    const QByteArray environment = qgetenv("XDG_CACHE_HOME") + '\0' + qgetenv("HOME");
    std::lock_guard lock(m_mutex);
    if (m_folderFor != environment || m_folderFor.isEmpty()) {
        const auto made = UserCache::folder(m_folderName);
        m_folder = made.isSuccess() ? std::optional<QString>(*made.value()) : std::nullopt;
        m_folderFor = environment;
    }
    return m_folder;
}

QString RenderedIconCache::entryPath(const QByteArray &key)
{
    const auto dir = folder();
    if (!dir) {
        return {};
    }
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
    return *dir + QLatin1Char('/') + QString::fromLatin1(digest + entrySuffix);
}

std::optional<QByteArray> RenderedIconCache::find(const QByteArray &key, QSize pixels)
{
    const QString path = entryPath(key);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const auto bytes = readEntry(path, maximumEntryBytes);
    auto png = bytes ? pngOfEntry(*bytes, key) : std::nullopt;
    if (!png || pngPixelSize(png->left(pngHeaderBytes)) != pixels) {
        return std::nullopt;
    }
    return png;
}

bool RenderedIconCache::store(const QByteArray &key, const QByteArray &png)
{
    const QString path = entryPath(key);
    const QByteArray bytes = entryBytes(key, png);
    if (path.isEmpty() || bytes.size() > maximumEntryBytes) {
        return false;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (UserCache::writeAtomically(path.left(slash), path.mid(slash + 1), bytes).isFailure()) {
        // The folder may have been removed under us: made again next time.
        std::lock_guard lock(m_mutex);
        m_folderFor.clear();
        return false;
    }
    // Trimmed once per process and then after every eighth of the limit
    // written, so the folder stays near its limit without a listing per icon.
    const qint64 written = m_bytesSinceTrim += bytes.size();
    if (!m_trimmedOnce.exchange(true) || written > m_maximumBytes / 8) {
        m_bytesSinceTrim = 0;
        trim();
    }
    return true;
}

QByteArray RenderedIconCache::pngFor(const QByteArray &key, QSize pixels, const Renderer &render)
{
    if (auto png = find(key, pixels)) {
        return *png;
    }
    ++s_renders;
    QByteArray png = render();
    if (!png.isEmpty()) {
        store(key, png);
    }
    return png;
}

void RenderedIconCache::trim()
{
    const auto dir = folder();
    if (!dir) {
        return;
    }
    const int fd = ::open(QFile::encodeName(*dir).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR *listing = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!listing) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    struct Entry
    {
        QByteArray name;
        qint64 size;
        timespec used;
    };
    std::vector<Entry> entries;
    qint64 total = 0;
    const time_t now = std::time(nullptr);
    while (const dirent *item = ::readdir(listing)) {
        const QByteArray name(item->d_name);
        struct stat info = {};
        if (::fstatat(fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        if (name.startsWith('.')) {
            if (now - info.st_mtime > staleTemporarySeconds) {
                ::unlinkat(fd, name.constData(), 0);
            }
            continue;
        }
        if (name.endsWith(entrySuffix)) {
            entries.push_back({name, qint64(info.st_size), info.st_mtim});
            total += info.st_size;
        }
    }
    if (total > m_maximumBytes) {
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
            return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec
                                                  : a.used.tv_nsec < b.used.tv_nsec;
        });
        for (const Entry &entry : entries) {
            if (total <= m_maximumBytes / 4 * 3) {
                break;
            }
            if (::unlinkat(fd, entry.name.constData(), 0) == 0) {
                total -= entry.size;
            }
        }
    }
    ::closedir(listing);
}
