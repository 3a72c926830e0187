// Replays the fuzz targets' corpus (seeds, and every input a run found to
// fail) through the readers, so that builds without the fuzzer still hold
// them to the same promise: decode and survive the round trip, or give
// nothing.
#include "Marrowkit/platform/saferead.h"
#include "Marrowkit/tests/fuzz/plistfuzzcheck.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

using PlistFuzzCheck::Target;

class FuzzCorpus : public ::testing::TestWithParam<Target>
{
};

TEST_P(FuzzCorpus, EveryInputDecodesAndSurvivesTheRoundTripOrGivesNothing)
{
    const QDir corpus(QStringLiteral(MARROWKIT_FUZZ_CORPUS) + QLatin1Char('/') +
                      PlistFuzzCheck::corpusName(GetParam()));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 5) << "corpus missing at " << corpus.path().toStdString();
    int decoded = 0;
    for (const QString &name : files) {
        const auto data = SafeRead::readRegularFile(corpus.filePath(name), qint64(1) << 20,
                                                    SafeRead::Links::Refuse);
        ASSERT_TRUE(data.isSuccess()) << name.toStdString();
        const auto outcome = PlistFuzzCheck::check(GetParam(), *data.value());
        EXPECT_FALSE(outcome.problem)
            << name.toStdString() << ": " << outcome.problem.value_or(QString()).toStdString();
        decoded += outcome.decoded ? 1 : 0;
    }
    // The corpus exercises both outcomes.
    EXPECT_GT(decoded, 0);
    EXPECT_LT(decoded, files.size());
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus,
                         ::testing::Values(Target::BinaryPropertyList, Target::XmlPropertyList,
                                           Target::KeyedArchive),
                         [](const ::testing::TestParamInfo<Target> &info) {
                             return PlistFuzzCheck::corpusName(info.param).toStdString();
                         });

} // namespace
