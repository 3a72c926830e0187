// What the benchmarks share: timing with CPU time beside wall time, printed
// as min/median/max; the machine's load; heap in use; and the large sample
// world laid out by the developer-tools stand-in in a temporary HOME, with
// the cache home inside it so no run reads or fills the user's caches.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <vector>

class QCommandLineParser;
class QCoreApplication;

namespace bench {

// What every world benchmark takes from its command line: --devices (40),
// --apps (50) and --runs; options the caller added to `parser` before are
// parsed with them.
struct WorldOptions
{
    int devices = 40;
    int apps = 50;
    int runs = 5;
};
WorldOptions parseWorldOptions(QCommandLineParser &parser, const QCoreApplication &application,
                               int defaultRuns = 5);

struct Sample
{
    double wallMs = 0;
    double cpuMs = 0; // the whole process's, every thread's
};

// Runs `work` once and measures it.
Sample measure(const std::function<void()> &work);
// Runs `work` `runs` times.
std::vector<Sample> measure(int runs, const std::function<void()> &work);

double medianWall(std::vector<Sample> samples);
double medianCpu(std::vector<Sample> samples);
// "label  wall min/median/max ms  cpu min/median/max ms"
void print(const char *label, std::vector<Sample> samples);
// The first three fields of /proc/loadavg, printed with the core count.
void printLoad(const char *when);

// Bytes of heap in use by the process right now.
qint64 heapInUse();

// The large world: `devices` devices (both Xcodes' kinds) holding `apps`
// apps each, in a temporary HOME that stays set while the world lives.
class World
{
public:
    World(int devices, int apps);
    bool isValid() const { return m_valid; }
    QString home() const { return m_home.path(); }
    QString developerFolder() const;
    QString deviceSet() const;
    // Installs a new app with icons of its own on `udid` with the stand-in's
    // installer; false when it failed.
    bool installApp(const QString &udid, int number);

private:
    QTemporaryDir m_home;
    bool m_valid = false;
};

} // namespace bench
