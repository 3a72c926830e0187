// Writes keyed archives (layout in archivableobject.h). Objects are numbered
// in the order they are first written; equal texts, numbers, data, class
// records and built-in objects are stored once and shared by reference. A
// list or dictionary that one value holds in several places (as decoded
// values do) is written once, so archiving takes time in proportion to the
// distinct objects, not to every path through them.
//
// One archiver writes one archive on the calling thread.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"
#include "Marrowkit/plist/archivableobject.h"
#include "Marrowkit/plist/propertylisterror.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

class MARROWKIT_EXPORT KeyedArchiver
{
public:
    // The archive of `root`: a text, number, boolean, data, list, dictionary
    // (text keys), QUrl, QDateTime, Image, ArchivableObject, or a list or
    // dictionary of these. A KeyedArchiveError when some value has no
    // archived form.
    static Result<QByteArray> archivedDataWithRootObject(const QVariant &root);

    // Writes `value` under `key` of the object being encoded; for use inside an
    // ArchivableObject's encoder. An invalid QVariant (or an empty URL) is
    // written as "$null", which readers see as absent.
    void encodeObject(const QVariant &value, const QString &key);

private:
    KeyedArchiver();
    quint64 add(const QVariant &value);
    quint64 addObjectValue(const QVariant &value);
    quint64 addShared(const QVariant &value);
    quint64 addObject(const QStringList &classes, QVariantMap fields);
    static QByteArray contentKey(const QVariantMap &fields);
    quint64 addClass(const QStringList &classes);
    quint64 addCodedObject(const ArchivableObject &object);
    quint64 addList(const QVariantList &list);
    quint64 addDictionary(const QVariantMap &map);
    quint64 addImage(const QVariant &value);
    void refuse(const QString &why);
    Result<QByteArray> finish(quint64 root);

    QVariantList m_objects;
    QHash<QString, quint64> m_texts;
    QHash<qint64, quint64> m_integers;
    QHash<quint64, quint64> m_reals; // by bit pattern
    QHash<QByteArray, quint64> m_data;
    QHash<QString, quint64> m_classes;
    QHash<QByteArray, quint64> m_sharedObjects;
    // Lists and dictionaries already written, by the storage their copies
    // share (the value is kept so that the storage outlives the archive).
    struct SharedValue
    {
        QVariant value;
        quint64 index = 0;
        int depth = 0; // the deepest it was written at
    };
    QHash<const void *, SharedValue> m_sharedValues;
    int m_codedObjects = 0;
    quint64 m_booleans[2] = {0, 0};
    QVariantMap *m_current = nullptr; // fields of the object being encoded
    int m_depth = 0;
    bool m_failed = false;
    QString m_failure; // why, once failed
};
