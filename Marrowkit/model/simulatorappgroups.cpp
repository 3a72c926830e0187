// The app's groups and the folders that hold them.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/model/containerfiles.h"
#include "Marrowkit/model/infodictionarykey.h"
#include "Marrowkit/platform/nofollow.h"
#include "model/simulatorappvalues_p.h"

using namespace SimulatorAppValues;

namespace {

// App groups nest a few folders deep; a hostile tree must not walk forever.
constexpr int maximumAppGroupDepth = 32;

bool isPackage(const QString &name)
{
    static const QStringList extensions{QStringLiteral(".app"),    QStringLiteral(".appex"),
                                        QStringLiteral(".bundle"), QStringLiteral(".framework"),
                                        QStringLiteral(".plugin"), QStringLiteral(".xpc")};
    for (const QString &extension : extensions) {
        if (name.endsWith(extension)) {
            return true;
        }
    }
    return false;
}

// The folder below `folder` whose container metadata names `identifier`,
// found in pre-order (a folder's own entries before its subfolders' entries).
// Apps write into group folders: links are neither entered nor read.
std::optional<QString> findAppGroupFolder(const QString &folder, const QString &identifier,
                                          int depth)
{
    for (const NoFollow::Entry &entry : NoFollow::entries(folder, NoFollow::Hidden::Include)) {
        const QString path = folder + QLatin1Char('/') + entry.name;
        if (entry.kind == NoFollow::Kind::File && entry.name == metadataFileName) {
            const auto metadata =
                ContainerFiles::readDictionary(path, ContainerFiles::metadataLimit);
            if (metadata.isSuccess() &&
                text(*metadata.value(), metadataIdentifierKey) == identifier) {
                return folder;
            }
        }
        if (entry.kind == NoFollow::Kind::Folder && depth < maximumAppGroupDepth &&
            !isPackage(entry.name)) {
            if (auto found = findAppGroupFolder(path, identifier, depth + 1)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<QStringList> SimulatorApp::appGroups() const
{
    const auto it = m_info.constFind(InfoDictionaryKey::AppGroups);
    return it == m_info.constEnd() ? std::nullopt : texts(*it);
}

std::optional<QUrl> SimulatorApp::containerURLForAppGroup(const QString &identifier) const
{
    if (!m_sandboxURL) {
        return std::nullopt;
    }
    const QUrl containers = upwards(*m_sandboxURL, 3);
    const QUrl sharedRoot = appending(containers, QStringLiteral("Shared/AppGroup"));
    if (!NoFollow::isFolderBelow(containers.toLocalFile(), QStringLiteral("Shared/AppGroup"))) {
        return sharedRoot;
    }
    if (auto found = findAppGroupFolder(sharedRoot.toLocalFile(), identifier, 0)) {
        return QUrl::fromLocalFile(*found);
    }
    return sharedRoot;
}
