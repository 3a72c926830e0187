#include "Marrowkit/platform/bundle.h"

#include "Marrowkit/plist/propertylist.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

std::optional<Bundle> Bundle::at(const QString &path)
{
    auto info =
        PropertyList::dictionaryFromFile(path + QStringLiteral("/Contents/Info.plist")).value();
    if (!info) {
        return std::nullopt;
    }
    return Bundle(QDir::cleanPath(path), *info);
}

std::optional<Bundle> Bundle::containing(const QString &path)
{
    QDir dir(QFileInfo(path).absoluteFilePath());
    for (;;) {
        if (QFileInfo::exists(dir.filePath(QStringLiteral("Contents/Info.plist")))) {
            return at(dir.absolutePath());
        }
        if (!dir.cdUp()) {
            return std::nullopt;
        }
    }
}

std::optional<Bundle> Bundle::main()
{
    static const std::optional<Bundle> bundle = [] {
        auto found = containing(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
        if (!found) {
            Dl_info self{};
            if (dladdr(reinterpret_cast<void *>(&developerToolPath), &self) && self.dli_fname) {
                found = containing(QString::fromUtf8(self.dli_fname));
            }
        }
        return found;
    }();
    return bundle;
}

QString Bundle::identifier() const
{
    return m_info.value(QStringLiteral("CFBundleIdentifier")).toString();
}

QString developerToolPath(const QString &programName)
{
    const QByteArray override = qgetenv("MARROWBY_DEVTOOLS_BIN");
    if (!override.isEmpty()) {
        return QDir(QString::fromLocal8Bit(override)).filePath(programName);
    }
    const auto main = Bundle::main();
    if (!main) {
        return QString();
    }
    const QString relative = QStringLiteral("/SharedSupport/bin/") + programName;
    for (auto bundle = main; bundle;
         bundle = Bundle::containing(QFileInfo(bundle->path()).path())) {
        if (QFileInfo::exists(bundle->contentsPath() + relative)) {
            return bundle->contentsPath() + relative;
        }
    }
    return main->contentsPath() + relative;
}
