#include "activationfile.h"

#include "lenscontract.h"

#include "Marrowkit/Connection/loginitem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace ActivationFile {

namespace {

// The bus splits Exec= like a shell: quote a path holding anything but the
// plainest characters.
QString quotedForExec(const QString &program)
{
    const bool plain = std::all_of(program.cbegin(), program.cend(), [](QChar c) {
        return c.isLetterOrNumber() || QStringLiteral("/._-+").contains(c);
    });
    if (plain) {
        return program;
    }
    QString quoted = program;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString path()
{
    return LoginItem::activationFilePath(LensContract::serviceName());
}

bool install(const QString &program)
{
    if (!QFileInfo(program).isAbsolute() || program.contains(QLatin1Char('\n'))) {
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path()).absolutePath())) {
        return false;
    }
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n")
                   .arg(LensContract::serviceName(), quotedForExec(program))
                   .toUtf8());
    return file.commit();
}

bool remove()
{
    const QByteArray file = QFile::encodeName(path());
    return ::unlink(file.constData()) == 0 || errno == ENOENT;
}

} // namespace ActivationFile
