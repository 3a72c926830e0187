#include "iconutil.h"

#include "console.h"
#include "icnswriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr qint64 maximumImageSize = qint64(16) * 1024 * 1024;

int usage()
{
    return Console::fail(QStringLiteral("Usage: iconutil -c icns [-o file] file.iconset"));
}

} // namespace

namespace IconUtil {

std::optional<QByteArray> convert(const QString &iconset, QString *error)
{
    static const QRegularExpression name(
        QStringLiteral("^icon_([0-9]{1,4})x([0-9]{1,4})(@2x)?\\.png$"));
    const QDir dir(iconset);
    QList<IcnsElement> elements;
    const auto entries = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        if (!entry.startsWith(QLatin1String("icon_"))) {
            continue;
        }
        const auto match = name.match(entry);
        const int width = match.captured(1).toInt();
        const int scale = match.captured(3).isEmpty() ? 1 : 2;
        const QByteArray type = match.hasMatch() && width == match.captured(2).toInt()
                                    ? IcnsWriter::typeFor(width, scale)
                                    : QByteArray();
        if (type.isEmpty()) {
            *error = QStringLiteral("%1: not a valid icon size name").arg(entry);
            return std::nullopt;
        }
        QFile file(dir.filePath(entry));
        if (!file.open(QIODevice::ReadOnly) || file.size() > maximumImageSize) {
            *error = QStringLiteral("%1: cannot be read").arg(entry);
            return std::nullopt;
        }
        const QByteArray png = file.readAll();
        const auto size = IcnsWriter::pngSize(png);
        if (!size || *size != QSize(width * scale, width * scale)) {
            *error =
                QStringLiteral("%1: not a %2x%2 pixel PNG image").arg(entry).arg(width * scale);
            return std::nullopt;
        }
        const bool duplicate =
            std::any_of(elements.cbegin(), elements.cend(),
                        [&type](const IcnsElement &e) { return e.type == type; });
        if (!duplicate) {
            elements.append({type, png});
        }
    }
    if (elements.isEmpty()) {
        *error = QStringLiteral("%1 holds no icon images").arg(iconset);
        return std::nullopt;
    }
    std::stable_sort(elements.begin(), elements.end(),
                     [](const IcnsElement &a, const IcnsElement &b) {
                         return IcnsWriter::order(a.type) < IcnsWriter::order(b.type);
                     });
    auto data = IcnsWriter::container(elements);
    if (!data) {
        *error = QStringLiteral("the icon images are too large");
    }
    return data;
}

int run(const QStringList &arguments)
{
    QString format;
    QString output;
    QString input;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if ((argument == QLatin1String("-c") || argument == QLatin1String("--convert")) &&
            i + 1 < arguments.size()) {
            format = arguments.at(++i);
        } else if ((argument == QLatin1String("-o") || argument == QLatin1String("--output")) &&
                   i + 1 < arguments.size()) {
            output = arguments.at(++i);
        } else if (!argument.startsWith(QLatin1Char('-')) && input.isEmpty()) {
            input = argument;
        } else {
            return usage();
        }
    }
    if (format != QLatin1String("icns") || input.isEmpty()) {
        return usage();
    }
    const QString iconset = QDir::cleanPath(input);
    if (!iconset.endsWith(QLatin1String(".iconset")) || !QFileInfo(iconset).isDir()) {
        return Console::fail(
            QStringLiteral("iconutil: error: %1 is not an .iconset folder").arg(input));
    }
    if (output.isEmpty()) {
        output = iconset.chopped(int(qstrlen(".iconset"))) + QStringLiteral(".icns");
    }
    QString error;
    const auto data = convert(iconset, &error);
    if (!data) {
        return Console::fail(
            QStringLiteral("iconutil: error: Failed to generate ICNS: %1").arg(error));
    }
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(*data) != data->size() || !file.commit()) {
        return Console::fail(QStringLiteral("iconutil: error: cannot write %1").arg(output));
    }
    return 0;
}

} // namespace IconUtil
