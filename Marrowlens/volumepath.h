// A path as the extension sees it: the names below the volume's mount point.
// The mount point may be any folder the user chose, so every depth rule
// counts from it rather than from "/" ("below the volume root" one name is
// a device folder, two an app folder, three a section, and so on).
//
// Threads: a value; any thread.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class VolumePath
{
public:
    // Nothing when `path` is not absolute, is not the volume root or below
    // it, or holds "." or ".." (a host never sends those; an intruder might).
    static std::optional<VolumePath> below(const QString &volumeRoot, const QString &path);

    // The names below the root, in order; empty for the root itself.
    const QStringList &components() const { return m_components; }
    qsizetype depth() const { return m_components.size(); }
    // The name at `index` (0: the device folder), or an empty text.
    QString name(qsizetype index) const { return m_components.value(index); }
    const QString &path() const { return m_path; }

private:
    VolumePath(QString path, QStringList components)
        : m_path(std::move(path)), m_components(std::move(components))
    {}
    QString m_path;
    QStringList m_components;
};
