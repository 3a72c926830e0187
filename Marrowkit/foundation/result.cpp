#include "Marrowkit/foundation/result.h"

#include "Marrowkit/foundation/log.h"

QString ResultError::errorDomain()
{
    return QStringLiteral("dev.marrowby.marrowby.Result");
}

QString ResultError::functionKey()
{
    return errorDomain() + QStringLiteral(".function");
}

QString ResultError::fileKey()
{
    return errorDomain() + QStringLiteral(".file");
}

QString ResultError::lineKey()
{
    return errorDomain() + QStringLiteral(".line");
}

Error resultError(const std::optional<QString> &description, const QString &function,
                  const QString &file, int line)
{
    Error error{ResultError::errorDomain(), 0, {}};
    error.userInfo.insert(ResultError::functionKey(), function);
    error.userInfo.insert(ResultError::fileKey(), file);
    error.userInfo.insert(ResultError::lineKey(), line);
    if (description) {
        error.userInfo.insert(Error::localizedDescriptionKey(), *description);
    }
    return error;
}

Error resultError(const std::optional<QString> &description, SourceLocation where)
{
    return resultError(description, plainFunctionName(where.function_name()),
                       Log::sourceFileName(where.file_name()), static_cast<int>(where.line()));
}

QString plainFunctionName(const char *prettyFunction)
{
    const QString pretty = QString::fromUtf8(prettyFunction ? prettyFunction : "");
    // The name ends at the first "(" outside template brackets; it starts after
    // the last space before that (which skips the return type).
    int depth = 0;
    int open = -1;
    for (int i = 0; i < pretty.size(); ++i) {
        const QChar c = pretty.at(i);
        if (c == QLatin1Char('<')) {
            ++depth;
        } else if (c == QLatin1Char('>')) {
            --depth;
        } else if (c == QLatin1Char('(') && depth == 0 && i > 0) {
            open = i;
            break;
        }
    }
    if (open < 0) {
        return Log::functionName(prettyFunction);
    }
    int start = open;
    depth = 0;
    while (start > 0) {
        const QChar c = pretty.at(start - 1);
        if (c == QLatin1Char('>')) {
            ++depth;
        } else if (c == QLatin1Char('<')) {
            --depth;
        } else if (c == QLatin1Char(' ') && depth == 0) {
            break;
        }
        --start;
    }
    QString name = pretty.mid(start, open - start);
    const int scope = name.lastIndexOf(QStringLiteral("::"));
    if (scope >= 0) {
        name = name.mid(scope + 2);
    }
    return name + QStringLiteral("()");
}
