#include "Marrowkit/devtools/xcodeversion.h"

#include "Marrowkit/plist/propertylist.h"

#include <algorithm>

namespace {

// The URL with one more path component, as a path-only URL keeps it.
QUrl appendingPathComponent(const QUrl &url, const QString &component)
{
    QUrl result = url;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    result.setPath(path + component);
    return result;
}

} // namespace

QList<int> versionComponents(const QString &text)
{
    QList<int> components;
    for (const QString &piece : text.split(QLatin1Char('.'))) {
        bool ok = false;
        const int value = piece.toInt(&ok, 10);
        // Only plain decimal digits count; "+1", " 1" and "0b2" read as 0.
        const bool digitsOnly =
            !piece.isEmpty() && std::all_of(piece.cbegin(), piece.cend(), [](QChar c) {
                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
            });
        components.append(ok && digitsOnly ? value : 0);
    }
    return components;
}

XcodeVersion::XcodeVersion(QUrl url, QString version, bool isCurrentlySelected)
    : m_url(std::move(url)), m_version(std::move(version)),
      m_isCurrentlySelected(isCurrentlySelected)
{}

int XcodeVersion::majorVersion() const
{
    return versionComponents(m_version).first();
}

QUrl XcodeVersion::developerDirectory() const
{
    return appendingPathComponent(appendingPathComponent(m_url, QStringLiteral("Contents")),
                                  QStringLiteral("Developer"));
}

QUrl XcodeVersion::simulatorAppURL() const
{
    return appendingPathComponent(developerDirectory(), QStringLiteral("Applications/") +
                                                            simulatorAppName() +
                                                            QStringLiteral(".app"));
}

QUrl XcodeVersion::watchSimulatorAppURL() const
{
    return appendingPathComponent(developerDirectory(),
                                  QStringLiteral("Applications/Simulator (Watch).app"));
}

QString XcodeVersion::simulatorAppName() const
{
    return majorVersion() < 7 ? QStringLiteral("iOS Simulator") : QStringLiteral("Simulator");
}

QUrl XcodeVersion::fileURL() const
{
    return QUrl::fromLocalFile(m_url.path());
}

std::optional<QString> XcodeVersion::productBuildVersion() const
{
    const QUrl plist =
        appendingPathComponent(appendingPathComponent(fileURL(), QStringLiteral("Contents")),
                               QStringLiteral("version.plist"));
    const auto version = PropertyList::dictionaryFromFile(plist.toLocalFile()).value();
    if (!version) {
        return std::nullopt;
    }
    const QVariant build = version->value(QStringLiteral("ProductBuildVersion"));
    if (build.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return build.toString();
}

QString XcodeVersion::description() const
{
    return QStringLiteral("XcodeVersion(%1, %2%3)")
        .arg(m_url.path(), m_version,
             m_isCurrentlySelected ? QStringLiteral(", selected") : QString());
}

bool operator==(const XcodeVersion &lhs, const XcodeVersion &rhs)
{
    return lhs.url() == rhs.url();
}

bool operator!=(const XcodeVersion &lhs, const XcodeVersion &rhs)
{
    return !(lhs == rhs);
}

bool operator<(const XcodeVersion &lhs, const XcodeVersion &rhs)
{
    const QList<int> left = versionComponents(lhs.version());
    const QList<int> right = versionComponents(rhs.version());
    return std::lexicographical_compare(left.cbegin(), left.cend(), right.cbegin(), right.cend());
}

bool operator<=(const XcodeVersion &lhs, const XcodeVersion &rhs)
{
    return !(rhs < lhs);
}

bool operator>(const XcodeVersion &lhs, const XcodeVersion &rhs)
{
    return rhs < lhs;
}

bool operator>=(const XcodeVersion &lhs, const XcodeVersion &rhs)
{
    return !(lhs < rhs);
}
