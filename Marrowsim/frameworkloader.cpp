#include "frameworkloader.h"

#include "Marrowkit/plist/propertylist.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

#include <mutex>
#include <vector>

namespace {

struct LoadedFramework
{
    QString identifier;
    QString path;
    void *handle;
};

struct Registry
{
    std::mutex mutex; // guards frameworks
    std::vector<LoadedFramework> frameworks;
};

Registry &registry()
{
    static auto *r = new Registry;
    return *r;
}

QString identifierOf(const QString &frameworkPath)
{
    for (const QString &relative :
         {QStringLiteral("Resources/Info.plist"), QStringLiteral("Contents/Info.plist")}) {
        auto info =
            PropertyList::dictionaryFromFile(QDir(frameworkPath).filePath(relative)).value();
        if (info) {
            return info->value(QStringLiteral("CFBundleIdentifier")).toString();
        }
    }
    return QString();
}

} // namespace

namespace FrameworkLoader {

bool load(const QString &frameworkPath)
{
    const QFileInfo folder(frameworkPath);
    if (!folder.isDir() || folder.suffix() != QLatin1String("framework")) {
        return false;
    }
    const QString canonical = folder.canonicalFilePath();
    const QString binary = canonical + QLatin1Char('/') + folder.completeBaseName();
    if (!QFileInfo(binary).isFile()) {
        return false;
    }
    QString identifier = identifierOf(canonical);
    if (identifier.isEmpty()) {
        identifier = canonical;
    }
    std::lock_guard lock(registry().mutex);
    for (const LoadedFramework &loaded : registry().frameworks) {
        if (loaded.identifier == identifier && loaded.path == canonical) {
            return true;
        }
    }
    // NODELETE: a framework may have started threads or handed out objects
    // that outlive our interest in it; unmapping its code would crash them.
    void *handle = dlopen(binary.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        return false;
    }
    registry().frameworks.push_back({identifier, canonical, handle});
    return true;
}

void unload(const QString &bundleIdentifier)
{
    std::lock_guard lock(registry().mutex);
    auto &frameworks = registry().frameworks;
    for (auto it = frameworks.begin(); it != frameworks.end();) {
        if (it->identifier == bundleIdentifier) {
            dlclose(it->handle);
            it = frameworks.erase(it);
        } else {
            ++it;
        }
    }
}

bool isLoaded(const QString &bundleIdentifier)
{
    std::lock_guard lock(registry().mutex);
    for (const LoadedFramework &loaded : registry().frameworks) {
        if (loaded.identifier == bundleIdentifier) {
            return true;
        }
    }
    return false;
}

void *symbol(const char *name)
{
    std::lock_guard lock(registry().mutex);
    const auto &frameworks = registry().frameworks;
    for (auto it = frameworks.rbegin(); it != frameworks.rend(); ++it) {
        if (void *address = dlsym(it->handle, name)) {
            return address;
        }
    }
    return nullptr;
}

} // namespace FrameworkLoader
