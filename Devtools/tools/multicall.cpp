#include "multicall.h"

#include "console.h"
#include "iconutil.h"
#include "mdfind.h"
#include "openapp.h"
#include "osascript.h"
#include "pluginkit.h"
#include "simctl.h"
#include "simulatorapp.h"
#include "worldmaker.h"
#include "xcodemaker.h"
#include "xcodeselect.h"

#include <QFileInfo>

namespace {

using Tool = int (*)(const QStringList &);

int simulator(const QStringList &arguments)
{
    SimulatorApp app;
    return app.exec(arguments);
}

const QList<std::pair<QString, Tool>> &tools()
{
    static const QList<std::pair<QString, Tool>> list = {
        {QStringLiteral("xcrun"), &Xcrun::run},
        {QStringLiteral("xcode-select"), &XcodeSelect::run},
        {QStringLiteral("mdfind"), &Mdfind::run},
        {QStringLiteral("open"), &OpenApp::run},
        {QStringLiteral("osascript"), &Osascript::run},
        {QStringLiteral("iconutil"), &IconUtil::run},
        {QStringLiteral("pluginkit"), &Pluginkit::run},
        {QStringLiteral("Simulator"), &simulator},
        {QStringLiteral("sample-world"), &WorldMaker::run},
        {QStringLiteral("make-xcode"), &XcodeMaker::run},
    };
    return list;
}

int usage()
{
    QStringList names;
    for (const auto &[name, tool] : tools()) {
        names.append(name);
    }
    return Console::fail(QStringLiteral("Usage: devtools <tool> [arguments]\nTools: %1")
                             .arg(names.join(QStringLiteral(", "))));
}

int runTool(const QString &name, const QStringList &arguments)
{
    for (const auto &[toolName, tool] : tools()) {
        if (toolName == name) {
            return tool(arguments);
        }
    }
    return -1;
}

} // namespace

namespace Multicall {

bool isSimulator(const QString &argv0)
{
    return QFileInfo(argv0).fileName() == QLatin1String("Simulator");
}

int run(const QStringList &arguments)
{
    const QString name = arguments.isEmpty() ? QString() : QFileInfo(arguments.first()).fileName();
    if (name != QLatin1String("devtools")) {
        const int status = runTool(name, arguments.mid(1));
        return status < 0
                   ? Console::fail(QStringLiteral("devtools: unknown tool name '%1'").arg(name))
                   : status;
    }
    if (arguments.size() < 2) {
        return usage();
    }
    const int status = runTool(arguments.at(1), arguments.mid(2));
    return status < 0 ? usage() : status;
}

} // namespace Multicall
