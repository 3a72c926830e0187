#include "menuworld.h"

#include "devtoolsworld.h"

#include "tests/support/processscan.h"

#include <QDirIterator>
#include <QProcess>

#include <csignal>

void MenuWorld::SetUp()
{
    m_home = std::make_unique<testsupport::TemporaryHome>();
    const ToolRun world =
        devtoolsworld::run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
    ASSERT_EQ(world.status, 0) << world.err.toStdString();
    m_bus = std::make_unique<testsupport::PrivateBus>();
    ASSERT_TRUE(m_bus->isRunning());
}

void MenuWorld::TearDown()
{
    // Simulator stand-ins started by launches shut their devices down on SIGTERM.
    if (m_home) {
        testsupport::endSimulatorsIn(m_home->path());
    }
    m_bus.reset();
    m_home.reset();
}

int MenuWorld::photoCount(const SimulatorDevice &device)
{
    if (!device.containerURL()) {
        return -1;
    }
    int count = 0;
    QDirIterator it(device.containerURL()->toLocalFile() + QStringLiteral("/data/Media"),
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

QString MenuWorld::writeImage(const QString &name)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QString path = m_home->filePath(name);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

QString MenuWorld::writeText(const QString &name)
{
    QString path = m_home->filePath(name);
    EXPECT_TRUE(testsupport::writeFile(path, "not a picture\n"));
    return path;
}

SimulatorDevicePtr MenuWorld::deviceNamed(const QList<SimulatorDevicePtr> &devices,
                                          const QString &name)
{
    for (const auto &device : devices) {
        if (device->name() == name) {
            return device;
        }
    }
    return nullptr;
}
