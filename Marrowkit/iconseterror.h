// Why an icon-set operation failed. The icon set's own error (code 0, domain
// "Marrowkit.IconsetError") means a URL or path was missing or a clean-up
// failed; failures of the file system keep their own domain and message.
#pragma once

#include <QLatin1String>
#include <QString>

struct IconsetError
{
    static constexpr QLatin1String iconsetDomain{"Marrowkit.IconsetError"};
    static constexpr QLatin1String fileSystemDomain{"Marrowkit.FileSystemError"};

    QString domain = iconsetDomain;
    int code = 0;
    QString description;

    static IconsetError fileSystem(const QString &description)
    {
        return {QString(fileSystemDomain), 1, description};
    }
    bool operator==(const IconsetError &other) const = default;
};
