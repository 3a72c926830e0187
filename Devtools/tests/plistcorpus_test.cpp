// Replays the fuzz target's corpus (seeds and every input it ever found to
// fail) through the property-list readers, so that builds without the
// fuzzer still hold the readers to the same promise.
#include "fuzz/plistroundtrip.h"
#include "safefile.h"

#include <QDir>

#include <gtest/gtest.h>

TEST(PlistCorpus, EveryInputDecodesCleanlyOrFailsCleanly)
{
    const QDir corpus(QStringLiteral(DEVTOOLS_FUZZ_CORPUS));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 20) << "corpus missing at " << corpus.path().toStdString();
    int decoded = 0;
    for (const QString &name : files) {
        const auto data = SafeFile::read(corpus.filePath(name), qint64(1) << 20);
        ASSERT_TRUE(data) << name.toStdString();
        const auto problem = PlistRoundTrip::check(*data);
        EXPECT_FALSE(problem) << name.toStdString() << ": " << problem->toStdString();
        decoded += PlistRoundTrip::decodes(*data) ? 1 : 0;
    }
    // The corpus exercises both outcomes.
    EXPECT_GT(decoded, 0);
    EXPECT_LT(decoded, files.size());
}
