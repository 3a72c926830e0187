// The fuzzer's seed corpus replayed in the ordinary suite: every seed passes
// the same checks the fuzzer applies, and the seeds that spell tables read
// as them.
#include "fuzz/stringstablecheck.h"
#include "stringsfile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QDir corpus()
{
    return QDir(QStringLiteral(MARROWBY_TEST_SOURCE_DIR "/Marrowsim/tests/fuzz/corpus"));
}

} // namespace

TEST(StringsTableCorpus, EverySeedPassesTheFuzzChecks)
{
    const QStringList seeds = corpus().entryList(QDir::Files, QDir::Name);
    ASSERT_GE(seeds.size(), 15) << corpus().path().toStdString();
    int tables = 0;
    for (const QString &seed : seeds) {
        QFile file(corpus().filePath(seed));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << seed.toStdString();
        const QByteArray data = file.readAll();
        const auto violation = stringstablefuzz::check(data);
        EXPECT_FALSE(violation) << seed.toStdString() << ": " << violation.value_or("");
        const auto table = stringsTableFromData(data);
        EXPECT_EQ(bool(table), !seed.startsWith(QLatin1String("broken-"))) << seed.toStdString();
        tables += table && !table->isEmpty() ? 1 : 0;
    }
    EXPECT_GE(tables, 12) << "most seeds spell tables, so the round trip is exercised";
}

TEST(StringsTableCorpus, TheTextFormWriterQuotesWhatNeedsIt)
{
    const QVariantMap table{
        {QStringLiteral("plain"), QStringLiteral("Field Notes")},
        {QStringLiteral("with \"quotes\" and \\"), QStringLiteral("line\nbreak\ttab\x01")},
        {QStringLiteral("nested"),
         QVariantList{QStringLiteral("a"),
                      QVariantMap{{QStringLiteral("k"), QByteArray("\x00\xff", 2)}}}},
    };
    const QString text = stringstablefuzz::textForm(table);
    EXPECT_EQ(stringsTableFromData(text.toUtf8()), table) << text.toStdString();
    EXPECT_FALSE(stringstablefuzz::check(text.toUtf8()));
}
