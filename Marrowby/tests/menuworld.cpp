#include "menuworld.h"

#include "devtoolsworld.h"

#include "tests/support/processscan.h"

#include <QDirIterator>
#include <QProcess>

#include <csignal>

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
