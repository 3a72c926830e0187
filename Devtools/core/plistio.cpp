#include "plistio.h"

#include "binaryplistreader.h"
#include "fileops.h"
#include "safefile.h"
#include "xmlplistreader.h"
#include "xmlplistwriter.h"

namespace {

void setError(QString *error, const QString &text)
{
    if (error) {
        *error = text;
    }
}

} // namespace

namespace PlistIO {

std::optional<QVariant> fromData(const QByteArray &data, QString *error)
{
    if (data.isEmpty() || data.size() > maximumFileSize) {
        setError(error, QStringLiteral("empty or oversized property list"));
        return std::nullopt;
    }
    return BinaryPlistReader::looksBinary(data) ? BinaryPlistReader::read(data, error)
                                                : XmlPlistReader::read(data, error);
}

std::optional<QVariant> read(const QString &path, qint64 sizeLimit, QString *error)
{
    const auto data = SafeFile::read(path, std::min(sizeLimit, maximumFileSize), error);
    if (!data) {
        return std::nullopt;
    }
    QString reason;
    auto value = fromData(*data, &reason);
    if (!value) {
        setError(error, QStringLiteral("%1: %2").arg(path, reason));
    }
    return value;
}

std::optional<QVariantMap> readDictionary(const QString &path, qint64 sizeLimit, QString *error)
{
    auto value = read(path, sizeLimit, error);
    if (!value) {
        return std::nullopt;
    }
    if (value->typeId() != QMetaType::QVariantMap) {
        setError(error, QStringLiteral("%1: not a dictionary").arg(path));
        return std::nullopt;
    }
    return value->toMap();
}

std::optional<QByteArray> toXml(const QVariant &value, QString *error)
{
    return XmlPlistWriter::write(value, error);
}

bool writeXml(const QString &path, const QVariant &value, QString *error)
{
    QString reason;
    const auto data = toXml(value, &reason);
    if (!data) {
        setError(error, QStringLiteral("%1: %2").arg(path, reason));
        return false;
    }
    return FileOps::writeAtomically(path, *data, error);
}

} // namespace PlistIO
