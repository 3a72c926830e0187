// A device set that others can write to: links planted in the Containers
// tree, FIFOs and links to /dev/zero named like the files the catalogue
// reads. The catalogue must neither follow the links nor stall or grow on
// the special files, and every other app must come through intact.
#include "Marrowsim/marrowsimcontroller.h"

#include "devtoolsworld.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/plist/propertylist.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace devtoolsworld;

namespace {

const QString metadataName = QStringLiteral(".com.apple.mobile_container_manager.metadata.plist");

QString developerFolder()
{
    return QDir::homePath() + QStringLiteral("/Applications/Xcode.app/Contents/Developer");
}

// Reports whether anything below a folder was opened (files or the folders
// themselves, which a listing opens) after the watch was set.
class OpenWatch
{
public:
    explicit OpenWatch(const QString &root) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        // Listed first and watched afterwards: the listing opens them too.
        QStringList all{root};
        QDirIterator folders(root,
                             QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                             QDirIterator::Subdirectories);
        while (folders.hasNext()) {
            all.append(folders.next());
        }
        for (const QString &folder : all) {
            watch(folder);
        }
    }
    ~OpenWatch() { ::close(m_fd); }
    OpenWatch(const OpenWatch &) = delete;
    OpenWatch &operator=(const OpenWatch &) = delete;

    bool isValid() const { return m_fd >= 0 && m_watches > 0 && m_failed == 0; }
    bool anythingOpened() const
    {
        alignas(struct inotify_event) char buffer[4096];
        const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
        return count > 0;
    }

private:
    void watch(const QString &folder)
    {
        const int wd = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                                         IN_OPEN | IN_ACCESS | IN_DONT_FOLLOW | IN_ONLYDIR);
        (wd >= 0 ? m_watches : m_failed) += 1;
    }

    int m_fd;
    int m_watches = 0;
    int m_failed = 0;
};

QString writeInfo(const QString &bundle, const QString &identifier, const QString &name)
{
    const QVariantMap info{{QStringLiteral("CFBundleIdentifier"), identifier},
                           {QStringLiteral("CFBundleName"), name},
                           {QStringLiteral("CFBundleVersion"), QStringLiteral("1")}};
    QDir().mkpath(bundle);
    PropertyList::writeFile(bundle + QStringLiteral("/Info.plist"), info,
                            PropertyList::Format::Xml);
    return bundle;
}

bool makeFifo(const QString &path)
{
    QFile::remove(path);
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

bool linkToZero(const QString &path)
{
    QFile::remove(path);
    return QFile::link(QStringLiteral("/dev/zero"), path);
}

// The catalogue as the printing program reads it in a process of its own,
// so that a reader stuck on a FIFO or growing on /dev/zero can be stopped:
// device line -> its app lines. Nothing when the program did not finish in
// time or failed.
std::optional<QMap<QString, QStringList>> catalogueInProcess()
{
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.setChildProcessModifier([] {
        // A reader that grows without bound fails here instead of taking
        // the machine's memory.
        if (!testsupport::underAddressSanitizer()) {
            const rlimit limit{rlim_t(4) << 30, rlim_t(4) << 30};
            ::setrlimit(RLIMIT_AS, &limit);
        }
    });
    process.start(testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/marrowsim-catalogue"),
                  {QStringLiteral("--developer-dir"), developerFolder()});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return std::nullopt;
    }
    QMap<QString, QStringList> catalogue;
    QString device;
    const QStringList lines =
        QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines.mid(1)) {
        if (line.startsWith(QLatin1String("    "))) {
            catalogue[device].append(line.trimmed());
        } else if (!line.isEmpty()) {
            device = line;
            catalogue.insert(device, {});
        }
    }
    return catalogue;
}

class HostileDeviceSet : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ToolRun world = run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
        ASSERT_EQ(world.status, 0) << world.err.toStdString();
        MarrowsimController controller(developerFolder());
        ASSERT_TRUE(controller.didLoadFrameworks());
        m_devices = controller.availableDevices();
        ASSERT_FALSE(m_devices.isEmpty());
    }

    // Every app of the catalogue with this bundle identifier.
    QList<SimulatorAppPtr> apps(const QString &identifier) const
    {
        QList<SimulatorAppPtr> found;
        for (const auto &device : m_devices) {
            for (const auto &app : device->apps()) {
                if (app->bundleIdentifier() == identifier) {
                    found.append(app);
                }
            }
        }
        return found;
    }

    static QString dataFolder(const SimulatorAppPtr &app)
    {
        // <device>/data/Containers/Bundle/Application/<UUID>/<Name>.app
        QDir folder(app->bundleURL()->toLocalFile());
        for (int i = 0; i < 5; ++i) {
            folder.cdUp();
        }
        return folder.absolutePath();
    }

    testsupport::TemporaryHome m_home;
    QList<SimulatorDevicePtr> m_devices;
};

TEST_F(HostileDeviceSet, LinkedContainersAreNeitherListedNorRead)
{
    const auto tidesApps = apps(QStringLiteral("com.example.tides"));
    ASSERT_FALSE(tidesApps.isEmpty());
    const SimulatorAppPtr &tides = tidesApps.constFirst();
    const QString data = dataFolder(tides);
    const QString bundles = data + QStringLiteral("/Containers/Bundle/Application");
    const QString sandboxes = data + QStringLiteral("/Containers/Data/Application");

    // Outside the device set: an app bundle container, a data container whose
    // metadata claims the tides app, and a loose app bundle.
    const QString outside = m_home.filePath(QStringLiteral("outside"));
    writeInfo(outside + QStringLiteral("/bundle/Outside.app"),
              QStringLiteral("com.example.outside"), QStringLiteral("Outside"));
    ASSERT_TRUE(QDir().mkpath(outside + QStringLiteral("/data")));
    ASSERT_TRUE(PropertyList::writeFile(outside + QStringLiteral("/data/") + metadataName,
                                        QVariantMap{{QStringLiteral("MCMMetadataIdentifier"),
                                                     QStringLiteral("com.example.tides")}},
                                        PropertyList::Format::Xml)
                    .isSuccess());
    writeInfo(outside + QStringLiteral("/loose/Stray.app"), QStringLiteral("com.example.stray"),
              QStringLiteral("Stray"));

    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/bundle"),
                            bundles + QStringLiteral("/FFFFFFFF-0000-4000-8000-0000000B0001")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/data"),
                            sandboxes + QStringLiteral("/FFFFFFFF-0000-4000-8000-0000000D0001")));
    const QString realContainer = bundles + QStringLiteral("/FFFFFFFF-0000-4000-8000-0000000B0002");
    ASSERT_TRUE(QDir().mkpath(realContainer));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/loose/Stray.app"),
                            realContainer + QStringLiteral("/Stray.app")));

    // On another device the whole bundle-containers folder is a link to a
    // copy of itself outside the set.
    SimulatorDevicePtr relinked;
    for (const auto &device : m_devices) {
        if (!device->apps().isEmpty() && dataFolder(device->apps().constFirst()) != data) {
            relinked = device;
        }
    }
    ASSERT_TRUE(relinked);
    const QString relinkedBundles =
        dataFolder(relinked->apps().constFirst()) + QStringLiteral("/Containers/Bundle");
    ASSERT_TRUE(QDir().rename(relinkedBundles, outside + QStringLiteral("/moved-bundles")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/moved-bundles"), relinkedBundles));

    OpenWatch watch(outside);
    ASSERT_TRUE(watch.isValid());
    MarrowsimController controller(developerFolder());
    const auto devices = controller.availableDevices();
    EXPECT_FALSE(watch.anythingOpened()) << "nothing outside the device set is opened";

    ASSERT_EQ(devices.size(), m_devices.size());
    for (const auto &device : devices) {
        const auto before = std::find_if(m_devices.cbegin(), m_devices.cend(), [&](const auto &d) {
            return d->uuid() == device->uuid();
        });
        ASSERT_NE(before, m_devices.cend());
        if (device->uuid() == relinked->uuid()) {
            EXPECT_TRUE(device->apps().isEmpty()) << "a linked Containers folder is not entered";
            continue;
        }
        // Each app as identifier and data container, before and after.
        QStringList names;
        for (const auto &app : device->apps()) {
            EXPECT_NE(app->bundleIdentifier(), QStringLiteral("com.example.outside"));
            EXPECT_NE(app->bundleIdentifier(), QStringLiteral("com.example.stray"));
            names.append(app->bundleIdentifier() + QLatin1Char(' ') +
                         app->sandboxURL().value_or(QUrl()).toLocalFile());
        }
        QStringList namesBefore;
        for (const auto &app : (*before)->apps()) {
            namesBefore.append(app->bundleIdentifier() + QLatin1Char(' ') +
                               app->sandboxURL().value_or(QUrl()).toLocalFile());
        }
        EXPECT_EQ(names, namesBefore) << device->name().toStdString();
    }
}

TEST_F(HostileDeviceSet, AppGroupSearchDoesNotFollowLinks)
{
    const auto tidesApps = apps(QStringLiteral("com.example.tides"));
    ASSERT_FALSE(tidesApps.isEmpty());
    const SimulatorAppPtr &tides = tidesApps.constFirst();
    const QString groupsRoot = dataFolder(tides) + QStringLiteral("/Containers/Shared/AppGroup");
    const QString outside = m_home.filePath(QStringLiteral("outside-group"));
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(PropertyList::writeFile(outside + QLatin1Char('/') + metadataName,
                                        QVariantMap{{QStringLiteral("MCMMetadataIdentifier"),
                                                     QStringLiteral("group.com.example.planted")}},
                                        PropertyList::Format::Xml)
                    .isSuccess());
    // A group folder that is a link, and one whose metadata file is a link.
    ASSERT_TRUE(
        QFile::link(outside, groupsRoot + QStringLiteral("/0000LINK-0000-4000-8000-000000000001")));
    const QString realGroup = groupsRoot + QStringLiteral("/0000LINK-0000-4000-8000-000000000002");
    ASSERT_TRUE(QDir().mkpath(realGroup));
    ASSERT_TRUE(QFile::link(outside + QLatin1Char('/') + metadataName,
                            realGroup + QLatin1Char('/') + metadataName));

    OpenWatch watch(outside);
    ASSERT_TRUE(watch.isValid());
    const auto planted =
        tides->containerURLForAppGroup(QStringLiteral("group.com.example.planted"));
    ASSERT_TRUE(planted);
    EXPECT_EQ(planted->toLocalFile(), groupsRoot) << "no match: the shared root itself";
    const auto own = tides->containerURLForAppGroup(QStringLiteral("group.com.example.tides"));
    ASSERT_TRUE(own);
    EXPECT_NE(own->toLocalFile(), groupsRoot) << "real groups are still found";

    // The whole AppGroup folder replaced by a link to a copy outside.
    const QString moved = m_home.filePath(QStringLiteral("moved-groups"));
    ASSERT_TRUE(QDir().rename(groupsRoot, moved));
    ASSERT_TRUE(QFile::link(moved, groupsRoot));
    OpenWatch movedWatch(moved);
    ASSERT_TRUE(movedWatch.isValid());
    const auto throughLink =
        tides->containerURLForAppGroup(QStringLiteral("group.com.example.tides"));
    ASSERT_TRUE(throughLink);
    EXPECT_EQ(throughLink->toLocalFile(), groupsRoot);
    EXPECT_FALSE(watch.anythingOpened());
    EXPECT_FALSE(movedWatch.anythingOpened());
}

TEST_F(HostileDeviceSet, SpecialFilesNeitherStallNorFloodTheCatalogue)
{
    const auto baseline = catalogueInProcess();
    ASSERT_TRUE(baseline);
    ASSERT_EQ(baseline->size(), m_devices.size()) << "one line per device";

    // Two apps lose their Info.plist to a FIFO and a link to /dev/zero; two
    // lose their container metadata the same way; two localized tables go.
    const auto tides = apps(QStringLiteral("com.example.tides"));
    const auto birdwatch = apps(QStringLiteral("com.example.birdwatch"));
    const auto counter = apps(QStringLiteral("com.example.counter"));
    const auto atlas = apps(QStringLiteral("com.example.atlas"));
    const auto notebooks = apps(QStringLiteral("com.example.notebook"));
    ASSERT_FALSE(tides.isEmpty());
    ASSERT_FALSE(birdwatch.isEmpty());
    ASSERT_FALSE(counter.isEmpty());
    ASSERT_FALSE(atlas.isEmpty());
    ASSERT_GE(notebooks.size(), 2);
    auto info = [](const SimulatorAppPtr &app) {
        return app->bundleURL()->toLocalFile() + QStringLiteral("/Info.plist");
    };
    auto metadata = [](const SimulatorAppPtr &app) {
        return app->sandboxURL()->toLocalFile() + QLatin1Char('/') + metadataName;
    };
    auto strings = [](const SimulatorAppPtr &app, const char *localization) {
        return app->bundleURL()->toLocalFile() + QLatin1Char('/') + QLatin1String(localization) +
               QStringLiteral(".lproj/InfoPlist.strings");
    };
    ASSERT_TRUE(makeFifo(info(tides.constFirst())));
    ASSERT_TRUE(linkToZero(info(birdwatch.constFirst())));
    ASSERT_TRUE(makeFifo(metadata(counter.constFirst())));
    ASSERT_TRUE(linkToZero(metadata(atlas.constFirst())));
    for (const char *localization : {"en", "Base"}) {
        ASSERT_TRUE(makeFifo(strings(notebooks.at(0), localization)));
        ASSERT_TRUE(linkToZero(strings(notebooks.at(1), localization)));
    }

    // What the catalogue should read now, worked out from the one before.
    QMap<QString, QStringList> expected = *baseline;
    auto change = [&](const SimulatorAppPtr &app, const std::function<QString(QString)> &edit) {
        const QString prefix = app->device()->longName() + QStringLiteral("  ");
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            if (!it.key().startsWith(prefix)) {
                continue;
            }
            QStringList lines;
            for (const QString &line : std::as_const(it.value())) {
                const bool ofApp =
                    line.section(QStringLiteral("  "), 1, 1) == app->bundleIdentifier();
                const QString edited = ofApp ? edit(line) : line;
                if (!edited.isEmpty()) {
                    lines.append(edited);
                }
            }
            it.value() = lines;
        }
    };
    const auto dropped = [](const QString &) { return QString(); };
    const auto ungrouped = [](const QString &line) {
        return line.section(QStringLiteral("  groups: "), 0, 0);
    };
    const auto unlocalized = [](QString line) {
        return line.replace(QStringLiteral("Field Notes"), QStringLiteral("Notebook"));
    };
    change(tides.constFirst(), dropped);
    change(birdwatch.constFirst(), dropped);
    change(counter.constFirst(), ungrouped);
    change(atlas.constFirst(), ungrouped);
    change(notebooks.at(0), unlocalized);
    change(notebooks.at(1), unlocalized);
    ASSERT_NE(expected, *baseline);

    const auto catalogue = catalogueInProcess();
    ASSERT_TRUE(catalogue) << "the catalogue completes";
    ASSERT_EQ(catalogue->keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QStringList read = catalogue->value(it.key());
        read.sort();
        it.value().sort();
        EXPECT_EQ(read, it.value()) << it.key().toStdString();
    }
}

TEST_F(HostileDeviceSet, UnquotedKeysNameTheApp)
{
    const auto notebooks = apps(QStringLiteral("com.example.notebook"));
    ASSERT_FALSE(notebooks.isEmpty());
    const QString bundle = notebooks.constFirst()->bundleURL()->toLocalFile();
    for (const char *localization : {"en", "Base"}) {
        ASSERT_TRUE(testsupport::writeFile(
            bundle + QLatin1Char('/') + QLatin1String(localization) +
                QStringLiteral(".lproj/InfoPlist.strings"),
            "/* Written by hand */\nCFBundleDisplayName = \"Margin Notes\";\n"
            "CFBundleName = Margins; // short form\n"));
    }
    MarrowsimController controller(developerFolder());
    bool found = false;
    for (const auto &device : controller.availableDevices()) {
        for (const auto &app : device->apps()) {
            if (app->bundleURL() == notebooks.constFirst()->bundleURL()) {
                EXPECT_EQ(app->name(), QStringLiteral("Margin Notes"));
                found = true;
            }
        }
    }
    EXPECT_TRUE(found);
}

} // namespace
