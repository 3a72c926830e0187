// The icns cache under attack and under load: links planted in the shared
// temporary folder, damaged or special cache entries, and many threads
// converting the same name at once. The icon tool is the stand-in's own,
// behind a script that counts its runs.
#include "Marrowkit/foundation/result.h"
#include "Marrowkit/icons/icnsconverter.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <latch>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

Image picture(int side, QColor colour)
{
    QImage pixels(side, side, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(colour);
    for (int i = 0; i < side; ++i) {
        pixels.setPixelColor(i, i, Qt::white);
    }
    return Image::fromBitmap(pixels);
}

// Whether `data` is a whole icns container: the header's length is the
// data's, and the elements fill it exactly.
bool isWholeIcns(const QByteArray &data)
{
    if (data.size() < 8 || !data.startsWith("icns") ||
        qFromBigEndian<quint32>(data.constData() + 4) != quint32(data.size())) {
        return false;
    }
    qsizetype at = 8;
    while (at + 8 <= data.size()) {
        const quint32 length = qFromBigEndian<quint32>(data.constData() + at + 4);
        if (length < 8 || length > quint32(data.size() - at)) {
            return false;
        }
        at += length;
    }
    return at == data.size() && data.size() > 8;
}

// The converter's answer as bytes; empty when it failed.
QByteArray bytesOf(const Result<QByteArray> &result)
{
    return result.value().value_or(QByteArray());
}

QString pathOf(const Result<QString> &result)
{
    return result.value().value_or(QString());
}

class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name), m_old(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_wasSet) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *m_name;
    QByteArray m_old;
    bool m_wasSet;
};

class IcnsCache : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        for (const char *folder : {"tmp", "bin", "cache", "runs"}) {
            ASSERT_TRUE(QDir(m_root.path()).mkpath(QLatin1String(folder)));
        }
        // Each run leaves a file of its own, so concurrent runs are all counted.
        const QString script = QStringLiteral("#!/bin/sh\n"
                                              "mktemp \"%1/runs/run.XXXXXX\" >/dev/null\n"
                                              "exec \"%2/iconutil\" \"$@\"\n")
                                   .arg(m_root.path(), testsupport::devtoolsBinPath());
        const QString tool = m_root.filePath(QStringLiteral("bin/iconutil"));
        ASSERT_TRUE(testsupport::writeFile(tool, script.toUtf8()));
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment.push_back(std::make_unique<ScopedEnvironment>(
            "TMPDIR", QFile::encodeName(m_root.filePath(QStringLiteral("tmp")))));
        m_environment.push_back(std::make_unique<ScopedEnvironment>(
            "XDG_CACHE_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("cache")))));
        m_environment.push_back(std::make_unique<ScopedEnvironment>(
            "MARROWBY_DEVTOOLS_BIN", QFile::encodeName(m_root.filePath(QStringLiteral("bin")))));
    }

    qsizetype toolRuns() const
    {
        return QDir(m_root.filePath(QStringLiteral("runs"))).entryList(QDir::Files).size();
    }
    QString path(const QString &relative) const { return m_root.filePath(relative); }

    QTemporaryDir m_root;
    std::vector<std::unique_ptr<ScopedEnvironment>> m_environment;
};

} // namespace

TEST_F(IcnsCache, LinksPlantedInTheTemporaryFolderAreNeverFollowed)
{
    // Another user's links, named like the folders a conversion would use
    // in the shared temporary folder, to folders of this user.
    ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("victim/precious")), "keep"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("victim-cache"))));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("victim")),
                            path(QStringLiteral("tmp/com.example.Foo.iconset"))));
    ASSERT_TRUE(
        QFile::link(path(QStringLiteral("victim-cache")), path(QStringLiteral("tmp/Marrowby"))));

    const QByteArray data = bytesOf(IcnsConverter::convertImagesToData(
        {picture(64, Qt::red)}, QStringLiteral("com.example.Foo")));
    EXPECT_TRUE(isWholeIcns(data));

    EXPECT_EQ(
        QDir(path(QStringLiteral("victim"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("precious")})
        << "nothing is written into or removed from the link's target";
    QFile precious(path(QStringLiteral("victim/precious")));
    ASSERT_TRUE(precious.open(QIODevice::ReadOnly));
    EXPECT_EQ(precious.readAll(), QByteArray("keep"));
    EXPECT_TRUE(QDir(path(QStringLiteral("victim-cache"))).isEmpty());
    EXPECT_EQ(QDir(path(QStringLiteral("tmp")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDir::Name),
              (QStringList{QStringLiteral("Marrowby"), QStringLiteral("com.example.Foo.iconset")}))
        << "the shared temporary folder is not used at all";

    const QString cached = pathOf(IcnsConverter::cachePath(QStringLiteral("com.example.Foo")));
    ASSERT_FALSE(cached.isEmpty());
    EXPECT_TRUE(cached.startsWith(path(QStringLiteral("cache/Marrowby/"))));
    struct stat folder = {};
    ASSERT_EQ(::lstat(QFile::encodeName(QFileInfo(cached).path()).constData(), &folder), 0);
    EXPECT_TRUE(S_ISDIR(folder.st_mode));
    EXPECT_EQ(folder.st_mode & 0077, 0u) << "the cache folder is private";
}

TEST_F(IcnsCache, ConcurrentConversionsOfOneNameAllGetTheSameIcns)
{
    const QList<Image> images{picture(40, Qt::blue), picture(128, Qt::darkGreen)};
    constexpr int threads = 8;
    std::vector<QByteArray> answers(threads);
    std::latch start(threads);
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&, i] {
            start.arrive_and_wait();
            answers[size_t(i)] = bytesOf(
                IcnsConverter::convertImagesToData(images, QStringLiteral("com.example.Same")));
        });
    }
    for (auto &worker : workers) {
        worker.join();
    }
    for (const QByteArray &answer : answers) {
        EXPECT_TRUE(isWholeIcns(answer));
        EXPECT_EQ(answer, answers.front());
    }
    EXPECT_EQ(toolRuns(), 1) << "one conversion per name; the others wait for it";

    QFile cached(pathOf(IcnsConverter::cachePath(QStringLiteral("com.example.Same"))) +
                 QStringLiteral(".icns"));
    ASSERT_TRUE(cached.open(QIODevice::ReadOnly));
    EXPECT_EQ(cached.readAll(), answers.front());
    EXPECT_EQ(QDir(QFileInfo(cached).path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("com.example.Same.icns")})
        << "no work folders or temporary files are left behind";
}

TEST_F(IcnsCache, DamagedOrSpecialCacheEntriesAreReplaced)
{
    const QList<Image> images{picture(64, Qt::magenta)};
    const QString name = QStringLiteral("com.example.Cached");
    const QByteArray first = bytesOf(IcnsConverter::convertImagesToData(images, name));
    ASSERT_TRUE(isWholeIcns(first));
    const QString cached = pathOf(IcnsConverter::cachePath(name)) + QStringLiteral(".icns");
    ASSERT_TRUE(QFileInfo(cached).isFile());

    // Cut short, as a crash or a full disk would leave it.
    ASSERT_TRUE(QFile::resize(cached, first.size() / 2));
    EXPECT_EQ(bytesOf(IcnsConverter::convertImagesToData(images, name)), first);
    EXPECT_EQ(toolRuns(), 2);
    QFile repaired(cached);
    ASSERT_TRUE(repaired.open(QIODevice::ReadOnly));
    EXPECT_EQ(repaired.readAll(), first);
    repaired.close();

    // Not icns at all.
    ASSERT_TRUE(testsupport::writeFile(cached, QByteArray("icns\0\0\0\x10garbage", 15)));
    EXPECT_EQ(bytesOf(IcnsConverter::convertImagesToData(images, name)), first);
    EXPECT_EQ(toolRuns(), 3);

    // A FIFO would block a plain read for ever.
    ASSERT_TRUE(QFile::remove(cached));
    ASSERT_EQ(::mkfifo(QFile::encodeName(cached).constData(), 0600), 0);
    EXPECT_EQ(bytesOf(IcnsConverter::convertImagesToData(images, name)), first);
    EXPECT_TRUE(QFileInfo(cached).isFile() && !QFileInfo(cached).isSymLink());

    // A link to a valid icns elsewhere is not taken, and its target stays.
    const QString elsewhere = path(QStringLiteral("elsewhere.icns"));
    const QByteArray other = bytesOf(IcnsConverter::convertImagesToData({picture(16, Qt::yellow)}));
    ASSERT_TRUE(isWholeIcns(other));
    ASSERT_TRUE(testsupport::writeFile(elsewhere, other));
    ASSERT_TRUE(QFile::remove(cached));
    ASSERT_TRUE(QFile::link(elsewhere, cached));
    EXPECT_EQ(bytesOf(IcnsConverter::convertImagesToData(images, name)), first);
    EXPECT_FALSE(QFileInfo(cached).isSymLink()) << "the link is replaced, not written through";
    QFile target(elsewhere);
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), other);
}
