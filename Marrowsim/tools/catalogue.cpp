// Prints the catalogue the simulator control library reads for a developer
// folder: every available device with its apps, the way the service sees
// them. Usage: marrowsim-catalogue [--developer-dir PATH]
// Without a path, the selected Xcode's developer folder (xcode-select -p).
#include "Marrowsim/marrowsimcontroller.h"

#include "Marrowkit/foundation/performtask.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/platform/bundle.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>

namespace {

void print(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists simulated devices and their apps."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("developer-dir"),
                      QStringLiteral("The Xcode developer folder."), QStringLiteral("path")});
    parser.process(app);

    QString developer = parser.value(QStringLiteral("developer-dir"));
    if (developer.isEmpty()) {
        developer =
            performTask(developerToolPath(QStringLiteral("xcode-select")), {QStringLiteral("-p")})
                .value_or(QString());
    }
    if (developer.isEmpty()) {
        std::fprintf(stderr, "No Xcode is selected; pass --developer-dir.\n");
        return 1;
    }
    MarrowsimController controller(developer);
    if (!controller.didLoadFrameworks()) {
        std::fprintf(stderr, "The simulator frameworks could not be loaded from %s\n",
                     developer.toUtf8().constData());
        return 1;
    }
    const auto devices = controller.availableDevices();
    print(QStringLiteral("%1 devices in %2").arg(devices.size()).arg(developer));
    for (const auto &device : devices) {
        print(QStringLiteral("%1  %2  %3")
                  .arg(device->longName(), description(device->deviceState()),
                       rawValue(device->deviceType())));
        for (const auto &simApp : device->apps()) {
            QString line =
                QStringLiteral("    %1 %2  %3")
                    .arg(simApp->name(), simApp->versionDescription(), simApp->bundleIdentifier());
            if (const auto groups = simApp->appGroups(); groups && !groups->isEmpty()) {
                line += QStringLiteral("  groups: ") + groups->join(QStringLiteral(", "));
            }
            print(line);
        }
    }
    return 0;
}
