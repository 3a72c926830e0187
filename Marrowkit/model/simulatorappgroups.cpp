// The app's groups and the folders that hold them.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/model/infodictionarykey.h"
#include "Marrowkit/plist/propertylist.h"
#include "model/simulatorappvalues_p.h"

#include <QDir>
#include <QFileInfo>

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
std::optional<QString> findAppGroupFolder(const QString &folder, const QString &identifier,
                                          int depth)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() == metadataFileName && !entry.isSymLink() && entry.isFile()) {
            const auto metadata = PropertyList::dictionaryFromFile(entry.filePath());
            if (metadata && text(*metadata, metadataIdentifierKey) == identifier) {
                return folder;
            }
        }
        if (entry.isDir() && !entry.isSymLink() && depth < maximumAppGroupDepth) {
            if (auto found = isPackage(entry.fileName())
                                 ? std::nullopt
                                 : findAppGroupFolder(entry.filePath(), identifier, depth + 1)) {
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
    const QUrl sharedRoot = appending(upwards(*m_sandboxURL, 3), QStringLiteral("Shared/AppGroup"));
    if (auto found = findAppGroupFolder(sharedRoot.toLocalFile(), identifier, 0)) {
        return QUrl::fromLocalFile(*found);
    }
    return sharedRoot;
}
