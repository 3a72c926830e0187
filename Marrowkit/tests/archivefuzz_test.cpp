// Seeded random mutation of valid archives, fed to the decoder: bit flips,
// truncation, splicing, and structural rewrites (references pointed anywhere,
// cycles, deep nesting, class names swapped, values of other kinds). Nothing
// may crash or hang, and whatever does decode must archive and decode again
// to the same value.
#include "Marrowkit/tests/archivefuzz.h"

#include "Marrowkit/plist/binarypropertylistwriter.h"
#include "Marrowkit/plist/keyedarchiver.h"
#include "Marrowkit/plist/keyedunarchiver.h"
#include "Marrowkit/plist/propertylist.h"

#include <QRandomGenerator>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

using archivefuzz::Decoded;

QVariant ref(quint64 index)
{
    return QVariant::fromValue(PropertyListUid{index});
}

class Mutator
{
public:
    Mutator(quint32 seed, QList<QByteArray> seeds) : m_random(seed), m_seeds(std::move(seeds)) {}

    QByteArray next()
    {
        const QByteArray &seed = pick(m_seeds);
        switch (m_random.bounded(6)) {
        case 0:
            return flipBits(seed);
        case 1:
            return seed.left(m_random.bounded(seed.size()));
        case 2:
            return splice(seed, pick(m_seeds));
        default:
            return rewrite(seed);
        }
    }

private:
    template<typename T> const T &pick(const QList<T> &list)
    {
        return list.at(m_random.bounded(list.size()));
    }

    QByteArray flipBits(QByteArray data)
    {
        const int flips = 1 + m_random.bounded(8);
        for (int i = 0; i < flips; ++i) {
            const int at = m_random.bounded(data.size());
            data[at] = char(data[at] ^ (1 << m_random.bounded(8)));
        }
        return data;
    }

    QByteArray splice(const QByteArray &a, const QByteArray &b)
    {
        return a.left(m_random.bounded(a.size())) + b.mid(m_random.bounded(b.size()));
    }

    // Structural changes made on the parsed archive and written back, so that
    // they reach the archive reader rather than stopping at the byte level.
    QByteArray rewrite(const QByteArray &seed)
    {
        auto archive = PropertyList::dictionaryFromData(seed).value();
        if (!archive) {
            return seed;
        }
        QVariantList objects = archive->value(QStringLiteral("$objects")).toList();
        const int changes = 1 + m_random.bounded(4);
        for (int i = 0; i < changes && objects.size() > 1; ++i) {
            changeOne(objects);
        }
        (*archive)[QStringLiteral("$objects")] = objects;
        if (m_random.bounded(10) == 0) {
            (*archive)[QStringLiteral("$top")] =
                QVariantMap{{QStringLiteral("root"), ref(randomIndex(objects))}};
        }
        return PropertyList::writeBinary(*archive).value().value_or(seed);
    }

    quint64 randomIndex(const QVariantList &objects)
    {
        switch (m_random.bounded(4)) {
        case 0:
            return 0;
        case 1:
            return quint64(objects.size()) + m_random.bounded(3); // just out of range
        case 2:
            return m_random.generate64();
        default:
            return m_random.bounded(objects.size());
        }
    }

    void changeOne(QVariantList &objects)
    {
        const int index = 1 + m_random.bounded(objects.size() - 1);
        if (objects.at(index).typeId() != QMetaType::QVariantMap) {
            objects[index] = otherValue(objects);
            return;
        }
        // No reference into `objects` is kept: a chain appended below may
        // move its elements.
        QVariantMap map = objects.at(index).toMap();
        const QStringList keys = map.keys();
        if (keys.isEmpty()) {
            return;
        }
        const QString &key = keys.at(m_random.bounded(keys.size()));
        QVariant value = map.value(key);
        switch (m_random.bounded(7)) {
        case 0: // a reference anywhere, including itself (a cycle)
            value = m_random.bounded(2) ? ref(randomIndex(objects)) : ref(quint64(index));
            break;
        case 1:
            map.remove(key);
            objects[index] = map;
            return;
        case 2:
            value = otherValue(objects);
            break;
        case 3: // a list of references rewritten in place
            if (value.typeId() == QMetaType::QVariantList) {
                QVariantList list = value.toList();
                if (!list.isEmpty()) {
                    list[m_random.bounded(list.size())] =
                        m_random.bounded(2) ? ref(quint64(index)) : ref(randomIndex(objects));
                }
                value = list;
            }
            break;
        case 4: // a class record renamed
            if (key == QStringLiteral("$classname")) {
                value = pick(archivefuzz::classNames());
            }
            break;
        case 5: // deep nesting: a chain of lists ending in this object
            value = ref(appendChain(objects, index));
            break;
        default:
            map.insert(QStringLiteral("extra"), otherValue(objects));
            break;
        }
        map.insert(key, value);
        objects[index] = map;
    }

    QVariant otherValue(const QVariantList &objects)
    {
        switch (m_random.bounded(6)) {
        case 0:
            return QStringLiteral("$null");
        case 1:
            return qint64(m_random.generate64());
        case 2:
            return m_random.generateDouble() * 1e300;
        case 3:
            return QVariantList{ref(randomIndex(objects))};
        case 4:
            return QByteArray(m_random.bounded(64), 'x');
        default:
            return QVariantMap{{QStringLiteral("$class"), ref(randomIndex(objects))}};
        }
    }

    // Appends a chain of array objects, each holding the next, the last
    // holding `target`; returns the first. Reuses an array class record.
    quint64 appendChain(QVariantList &objects, int target)
    {
        const quint64 record = quint64(objects.size());
        objects.append(
            QVariantMap{{QStringLiteral("$classname"), QStringLiteral("Array")},
                        {QStringLiteral("$classes"), QStringList{QStringLiteral("Array")}}});
        const int length = 50 + m_random.bounded(150);
        const quint64 first = quint64(objects.size());
        for (int i = 0; i < length; ++i) {
            const quint64 next = i + 1 < length ? quint64(objects.size()) + 1 : quint64(target);
            objects.append(QVariantMap{{QStringLiteral("$class"), ref(record)},
                                       {QStringLiteral("items"), QVariantList{ref(next)}}});
        }
        return first;
    }

    QRandomGenerator m_random;
    QList<QByteArray> m_seeds;
};

} // namespace

TEST(ArchiveFuzz, MutatedArchivesNeverCrashAndWhatReadsIsStable)
{
    // Corrupt PNG data is expected here; the PNG decoder's complaints are noise.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
    const QList<QByteArray> seeds = archivefuzz::seedArchives();
    ASSERT_FALSE(seeds.isEmpty());
    for (const QByteArray &seed : seeds) {
        ASSERT_TRUE(archivefuzz::decodeAny(seed)) << "every seed is a valid archive";
    }
    constexpr int inputs = 8000;
    Mutator mutator(20161013, seeds);
    int decoded = 0;
    for (int i = 0; i < inputs; ++i) {
        const QByteArray input = mutator.next();
        const std::optional<Decoded> first = archivefuzz::decodeAny(input);
        if (!first) {
            continue;
        }
        ++decoded;
        // What decodes must survive a second round trip unchanged.
        const auto again = KeyedArchiver::archivedDataWithRootObject(first->archivable).value();
        ASSERT_TRUE(again) << "input " << i;
        const auto second = archivefuzz::decodeAny(*again);
        ASSERT_TRUE(second) << "input " << i;
        EXPECT_EQ(second->printed.toStdString(), first->printed.toStdString()) << "input " << i;
    }
    // Some mutations are harmless; if none decoded, the mutator would be
    // testing only the byte-level reader.
    EXPECT_GT(decoded, inputs / 50);
}
