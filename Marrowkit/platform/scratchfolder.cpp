#include "Marrowkit/platform/scratchfolder.h"

#include "Marrowkit/platform/saferemove.h"
#include "Marrowkit/platform/usercache.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>

Result<std::shared_ptr<ScratchFolder>> ScratchFolder::create(const QString &cacheName,
                                                             const QString &prefix)
{
    using Made = Result<std::shared_ptr<ScratchFolder>>;
    if (!UserCache::isPlainName(prefix)) {
        return Made::failure(resultError(
            QStringLiteral("%1 cannot name a scratch folder: not a plain name").arg(prefix)));
    }
    const auto parent = UserCache::folder(cacheName);
    if (parent.isFailure()) {
        return Made::failure(*parent.error());
    }
    QByteArray pattern = QFile::encodeName(*parent.value() + QLatin1Char('/') + prefix) + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        const int code = errno;
        Error error =
            resultError(QStringLiteral("Could not make a scratch folder in %1: %2")
                            .arg(*parent.value(), QString::fromLocal8Bit(std::strerror(code))));
        error.userInfo.insert(Error::filePathKey(), *parent.value());
        return Made::failure(error);
    }
    return Made::success(
        std::shared_ptr<ScratchFolder>(new ScratchFolder(QFile::decodeName(pattern))));
}

ScratchFolder::~ScratchFolder()
{
    // Nothing to report to: a folder that stays is only clutter in a private
    // cache.
    (void)SafeRemove::removeTree(m_path);
}

QString ScratchFolder::filePath(const QString &name) const
{
    return m_path + QLatin1Char('/') + name;
}
