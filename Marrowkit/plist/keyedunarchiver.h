// Reads keyed archives (layout in archivableobject.h) that come from another
// process and are treated as hostile.
//
// The caller names the classes it accepts, as secure decoding does: the root,
// and every value inside a list or dictionary, must be of one of them, and
// each catalogue object's decoder names the classes it accepts for each of its
// keys. Catalogue classes are decoded only through the decoders the caller
// hands in. Anything else gives nothing: an unknown or refused class, a
// required key that is missing or of another class, a reference out of range,
// a reference cycle, nesting deeper than KeyedArchive::maximumDepth, a
// catalogue object reached by more than one reference (it could belong to
// only one owner), or a structure that is not this layout. Every object is
// read at most once per set of accepted classes, so reading takes time in
// proportion to the archive; an object named by several references is one
// shared value, but archives whose value would expand beyond
// PropertyList::maximumExpandedSize (every reference counted as what it
// names) are refused, since whoever walks the value walks every copy.
//
// Decoded values: Text -> QString, Number -> qint64 or double, Boolean ->
// bool, Data -> QByteArray, Array -> QVariantList, Dictionary -> QVariantMap,
// URL -> QUrl, Date -> QDateTime (UTC), Image -> Image; catalogue objects are
// whatever their decoder returns.
//
// One unarchiver reads one archive on the calling thread.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"
#include "Marrowkit/plist/archivableobject.h"
#include "Marrowkit/plist/propertylisterror.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVarLengthArray>

#include <functional>
#include <optional>
#include <vector>

class MARROWKIT_EXPORT KeyedUnarchiver
{
public:
    // Builds one catalogue object from the keys of the object being decoded;
    // nothing when it cannot, which fails the whole archive.
    using Decoder = std::function<std::optional<QVariant>(KeyedUnarchiver &coder)>;
    // Decoders by class name. At most 50 classes.
    using DecoderTable = QHash<QString, Decoder>;

    // The root object when it is of one of `allowedClasses` (built-in names
    // from KeyedArchive or names in `decoders`) and everything in it reads;
    // otherwise a KeyedArchiveError (or the PropertyListError of data that is
    // no property list) that says what was refused.
    static Result<QVariant> unarchivedObject(const QByteArray &data,
                                             const QStringList &allowedClasses,
                                             const DecoderTable &decoders = {});

    // For decoders. The value under `key` of the object being decoded; nothing
    // when the key is absent, holds "$null" or a value of another class.
    std::optional<QVariant> decodeObject(const QString &key, const QStringList &allowedClasses);
    // The same, but absence or another class fails the whole archive.
    std::optional<QVariant> decodeRequiredObject(const QString &key,
                                                 const QStringList &allowedClasses);
    // A required text.
    std::optional<QString> decodeRequiredText(const QString &key);
    bool containsValueForKey(const QString &key) const;
    // Fails the whole archive: the decoder found something it cannot use.
    void fail() { m_failed = true; }
    bool hasFailed() const { return m_failed; }

private:
    enum class Outcome { Value, Null, Refused };
    struct Read
    {
        Outcome outcome = Outcome::Refused;
        QVariant value;
        quint64 classes = 0; // the classes the value is made of
        quint64 size = 1;    // the values it expands to
    };
    enum class State : quint8 { Unread, Reading, Done };
    struct Entry
    {
        State state = State::Unread;
        quint64 classes = 0;
        quint64 size = 0;
        QVariant value;
        QVarLengthArray<quint64, 2> refused; // class sets this object failed under
    };

    explicit KeyedUnarchiver(const DecoderTable &decoders);
    Result<QVariant> decodeRoot(const QByteArray &data, const QStringList &allowed);
    static Error refusal(KeyedArchiveError::Code code, const QString &why);
    quint64 classMask(const QStringList &names) const;
    Read read(const QVariant &reference, quint64 allowed);
    Read readObject(quint64 index, quint64 allowed);
    Read decodeByClass(int classBit, const QVariantMap &fields, quint64 allowed);
    std::optional<int> classBitOfRecord(const QVariant &reference);
    Read readArray(const QVariantMap &fields, quint64 allowed);
    Read readDictionary(const QVariantMap &fields, quint64 allowed);
    Read readURL(const QVariantMap &fields);
    Read readDate(const QVariantMap &fields);
    Read readImage(const QVariantMap &fields);
    Read readCoded(int classBit, const QVariantMap &fields);
    Read broken();
    // The same, recording why when nothing was recorded before.
    Read broken(KeyedArchiveError::Code code, const QString &why);
    Read expandsTooFar();
    quint64 grown(quint64 size, quint64 more) const;

    const DecoderTable &m_decoders;
    QHash<QString, int> m_classBits;
    std::vector<QString> m_classNames;
    QHash<quint64, int> m_recordBits; // class record index -> class bit
    QVariantList m_objects;
    std::vector<Entry> m_entries;
    std::vector<const QVariantMap *> m_fields; // objects being decoded, innermost last
    std::vector<quint64> m_codedSizes;         // their sizes so far, the same way
    std::vector<int> m_codedClasses;           // their class bits, the same way
    quint64 m_budget = 0;
    int m_depth = 0;
    bool m_failed = false;
    std::optional<Error> m_failure; // the first reason found, once failed
};
