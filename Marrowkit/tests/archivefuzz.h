// Shared by the archive fuzz test (and a libFuzzer target where clang is
// used): valid seed archives and one entry point that tries every way the
// system reads an archive.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace archivefuzz {

struct Decoded
{
    QVariant archivable; // the decoded value in a form the archiver writes
    QString printed;     // a canonical description for comparing values
};

QList<QByteArray> seedArchives();
// Class names a mutation may put into a class record.
const QStringList &classNames();
// Reads `data` the ways the system does (as values, a list of devices, one
// update); the first that gives an object.
std::optional<Decoded> decodeAny(const QByteArray &data);

} // namespace archivefuzz
