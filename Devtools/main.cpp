// The developer-tools stand-in: one program, many names (see multicall.h).
#include "multicall.h"
#include "simulatorapp.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QFile::decodeName(argv[i]));
    }
    // Before any thread exists, so that no thread takes the signal instead.
    if (!arguments.isEmpty() && Multicall::isSimulator(arguments.first())) {
        SimulatorApp::blockTerminationSignals();
    }
    QCoreApplication app(argc, argv);
    return Multicall::run(arguments);
}
