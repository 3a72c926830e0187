#include "Marrowkit/platform/stringtable.h"

#include "Marrowkit/platform/bundle.h"
#include "Marrowkit/plist/propertylist.h"

#include <QVariantMap>

#include <mutex>

namespace StringTable {

namespace {

QVariantMap loadTable()
{
    const auto bundle = Bundle::main();
    if (!bundle) {
        return {};
    }
    return PropertyList::dictionaryFromFile(
               bundle->contentsPath() + QStringLiteral("/Resources/en.lproj/Localizable.strings"))
        .recover([] { return QVariantMap(); });
}

const QVariantMap &table()
{
    static std::once_flag once;
    static QVariantMap loaded;
    std::call_once(once, [] { loaded = loadTable(); });
    return loaded;
}

} // namespace

QString localizedString(const QString &key, const QString &englishDefault)
{
    const QVariant value = table().value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : englishDefault;
}

QString localizedString(const char *key, const char *englishDefault)
{
    return localizedString(QString::fromLatin1(key), QString::fromUtf8(englishDefault));
}

QString formatted(const QString &text, const QString &argument)
{
    QString result = text;
    const qsizetype at = result.indexOf(QStringLiteral("%@"));
    if (at >= 0) {
        result.replace(at, 2, argument);
    }
    return result;
}

} // namespace StringTable
