#include "benchsupport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <malloc.h>

namespace bench {

WorldOptions parseWorldOptions(QCommandLineParser &parser, const QCoreApplication &application,
                               int defaultRuns)
{
    parser.addOptions({{QStringLiteral("devices"), QStringLiteral("Devices"), QStringLiteral("n"),
                        QStringLiteral("40")},
                       {QStringLiteral("apps"), QStringLiteral("Apps per device"),
                        QStringLiteral("n"), QStringLiteral("50")},
                       {QStringLiteral("runs"), QStringLiteral("Runs of each"), QStringLiteral("n"),
                        QString::number(defaultRuns)}});
    parser.process(application);
    WorldOptions options;
    options.devices = std::max(1, parser.value(QStringLiteral("devices")).toInt());
    options.apps = std::max(1, parser.value(QStringLiteral("apps")).toInt());
    options.runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    return options;
}

namespace {

double cpuNowMs()
{
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QString devtools()
{
    return QStringLiteral(MARROWBY_DEVTOOLS_BIN "/devtools");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

Sample measure(const std::function<void()> &work)
{
    QElapsedTimer clock;
    const double cpu = cpuNowMs();
    clock.start();
    work();
    return {double(clock.nsecsElapsed()) / 1e6, cpuNowMs() - cpu};
}

std::vector<Sample> measure(int runs, const std::function<void()> &work)
{
    std::vector<Sample> samples;
    for (int i = 0; i < runs; ++i) {
        samples.push_back(measure(work));
    }
    return samples;
}

double medianWall(std::vector<Sample> samples)
{
    std::sort(samples.begin(), samples.end(),
              [](const Sample &a, const Sample &b) { return a.wallMs < b.wallMs; });
    return samples.empty() ? 0 : samples[samples.size() / 2].wallMs;
}

double medianCpu(std::vector<Sample> samples)
{
    std::sort(samples.begin(), samples.end(),
              [](const Sample &a, const Sample &b) { return a.cpuMs < b.cpuMs; });
    return samples.empty() ? 0 : samples[samples.size() / 2].cpuMs;
}

void print(const char *label, std::vector<Sample> samples)
{
    if (samples.empty()) {
        return;
    }
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const Sample &sample : samples) {
        wall.push_back(sample.wallMs);
        cpu.push_back(sample.cpuMs);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    const size_t mid = wall.size() / 2;
    std::printf("  %-44s wall %8.1f /%8.1f /%8.1f ms   cpu %8.1f /%8.1f /%8.1f ms  (n=%zu)\n",
                label, wall.front(), wall[mid], wall.back(), cpu.front(), cpu[mid], cpu.back(),
                wall.size());
}

void printLoad(const char *when)
{
    QFile file(QStringLiteral("/proc/loadavg"));
    QByteArray load = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("?");
    const QList<QByteArray> fields = load.simplified().split(' ');
    std::printf("load %s: %s %s %s on %d cores\n", when, fields.value(0).constData(),
                fields.value(1).constData(), fields.value(2).constData(),
                QThread::idealThreadCount());
}

qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

World::World(int devices, int apps)
{
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.path() + QStringLiteral("/.cache")));
    const Sample made = measure([&] {
        m_valid =
            QProcess::execute(devtools(), {QStringLiteral("sample-world"),
                                           QStringLiteral("--devices"), QString::number(devices),
                                           QStringLiteral("--apps"), QString::number(apps)}) == 0;
    });
    std::printf("world of %d devices x %d apps laid out in %.1f s\n", devices, apps,
                made.wallMs / 1000);
}

QString World::developerFolder() const
{
    return m_home.path() + QStringLiteral("/Applications/Xcode.app/Contents/Developer");
}

QString World::deviceSet() const
{
    return m_home.path() + QStringLiteral("/Library/Developer/CoreSimulator/Devices");
}

bool World::installApp(const QString &udid, int number)
{
    const QString name = QStringLiteral("Installed%1").arg(number);
    const QString app = m_home.path() + QStringLiteral("/staging/") + name + QStringLiteral(".app");
    QDir().mkpath(app);
    const QString info = QStringLiteral(
                             R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.example.installed%1</string>
<key>CFBundleName</key><string>%2</string>
<key>CFBundleExecutable</key><string>%2</string>
<key>CFBundlePackageType</key><string>APPL</string>
<key>CFBundleShortVersionString</key><string>1.0</string>
<key>CFBundleVersion</key><string>1</string>
<key>CFBundleIcons</key><dict><key>CFBundlePrimaryIcon</key><dict>
<key>CFBundleIconFiles</key><array><string>AppIcon60x60</string></array></dict></dict>
<key>CFBundleIcons~ipad</key><dict><key>CFBundlePrimaryIcon</key><dict>
<key>CFBundleIconFiles</key><array><string>AppIcon60x60</string><string>AppIcon76x76</string></array></dict></dict>
</dict></plist>
)")
                             .arg(number)
                             .arg(name);
    bool written = writeFile(app + QStringLiteral("/Info.plist"), info.toUtf8()) &&
                   writeFile(app + QLatin1Char('/') + name, "#!/bin/sh\n");
    for (const auto &[file, side] :
         {std::pair{"AppIcon60x60@2x.png", 120}, std::pair{"AppIcon76x76~ipad.png", 76},
          std::pair{"AppIcon76x76@2x~ipad.png", 152}}) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(QColor::fromHsv((number * 53) % 360, 180, 200));
        written = written && image.save(app + QLatin1Char('/') + QLatin1String(file), "PNG");
    }
    return written &&
           QProcess::execute(QStringLiteral(MARROWBY_DEVTOOLS_BIN "/xcrun"),
                             {QStringLiteral("simctl"), QStringLiteral("install"), udid, app}) == 0;
}

} // namespace bench
