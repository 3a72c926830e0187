// One installation of the developer tools (an Xcode application bundle), its
// version and whether its developer folder is the selected one.
//
// Comparison follows two different rules on purpose: two versions are equal
// when their bundles are the same (url), while ordering compares the version
// texts number by number. So a < b and a == b can both hold.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// The text split at every "." with each piece read as a decimal integer (a
// piece that is not one counts as 0): "7.3.1" gives 7, 3, 1; "7.0b2" gives
// 7, 0; "" gives 0. Never empty.
MARROWKIT_EXPORT QList<int> versionComponents(const QString &text);

class MARROWKIT_EXPORT XcodeVersion
{
public:
    // `url` is the bundle as the metadata search found it: a path-only URL.
    XcodeVersion(QUrl url, QString version, bool isCurrentlySelected);

    const QUrl &url() const { return m_url; }
    // As the bundle reports it, such as 7.3.1.
    const QString &version() const { return m_version; }
    bool isCurrentlySelected() const { return m_isCurrentlySelected; }
    void setIsCurrentlySelected(bool selected) { m_isCurrentlySelected = selected; }

    // url + "Contents" + "Developer".
    QUrl developerDirectory() const;
    // Developer/Applications/"iOS Simulator.app" below major version 7, else "Simulator.app".
    QUrl simulatorAppURL() const;
    QUrl watchSimulatorAppURL() const;
    // "iOS Simulator" below major version 7, else "Simulator".
    QString simulatorAppName() const;
    // A file URL of the path of url.
    QUrl fileURL() const;
    // "ProductBuildVersion" of Contents/version.plist; nothing when unreadable or not text.
    std::optional<QString> productBuildVersion() const;

    QString description() const;

private:
    int majorVersion() const;

    QUrl m_url;
    QString m_version;
    bool m_isCurrentlySelected = false;
};

// Equal bundles (url); version and selection are not compared.
MARROWKIT_EXPORT bool operator==(const XcodeVersion &lhs, const XcodeVersion &rhs);
MARROWKIT_EXPORT bool operator!=(const XcodeVersion &lhs, const XcodeVersion &rhs);
// Lexicographic over versionComponents(): a list that is a prefix of the
// other is smaller; equal lists are not smaller.
MARROWKIT_EXPORT bool operator<(const XcodeVersion &lhs, const XcodeVersion &rhs);
MARROWKIT_EXPORT bool operator<=(const XcodeVersion &lhs, const XcodeVersion &rhs);
MARROWKIT_EXPORT bool operator>(const XcodeVersion &lhs, const XcodeVersion &rhs);
MARROWKIT_EXPORT bool operator>=(const XcodeVersion &lhs, const XcodeVersion &rhs);
