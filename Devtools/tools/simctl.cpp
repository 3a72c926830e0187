#include "simctl.h"

#include "appinstaller.h"
#include "console.h"
#include "simctllisting.h"
#include "simidentifiers.h"
#include "xcodeselect.h"

namespace {

constexpr int usageStatus = 64;

// A failure the framework gives a code to: the tool names the error's domain
// and code first and exits with the code (modulo 256, all a status holds).
int fail(const QString &message, int code)
{
    if (code == 0) {
        return Console::fail(message);
    }
    return Console::fail(QStringLiteral("An error was encountered processing the command "
                                        "(domain=com.apple.CoreSimulator.SimError, code=%1):\n%2")
                             .arg(code)
                             .arg(message),
                         code % 256);
}

int usage(const QString &line)
{
    return Console::fail(QStringLiteral("Usage: simctl %1").arg(line), usageStatus);
}

int usageOfAll()
{
    return Console::fail(QStringLiteral("usage: simctl <subcommand> ...\n"
                                        "Subcommands:\n"
                                        "    list [-j] [devicetypes|runtimes|devices|pairs]\n"
                                        "    create <name> <device type> <runtime>\n"
                                        "    delete <device>...\n"
                                        "    erase <device>\n"
                                        "    boot <device>\n"
                                        "    shutdown <device>\n"
                                        "    install <device> <path.app>\n"
                                        "    uninstall <device> <bundle identifier>\n"
                                        "    launch <device> <bundle identifier>\n"
                                        "    addmedia <device> <photo>..."),
                         usageStatus);
}

} // namespace

Simctl::Simctl()
    : m_profiles(XcodeProfiles::load(XcodeSelect::selectedDeveloperDirectory().value_or(QString())))
{}

int Simctl::run(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        return usageOfAll();
    }
    const QString &command = arguments.first();
    const QStringList rest = arguments.mid(1);
    using Handler = int (Simctl::*)(const QStringList &);
    static const QList<std::pair<QString, Handler>> commands = {
        {QStringLiteral("list"), &Simctl::list},
        {QStringLiteral("create"), &Simctl::create},
        {QStringLiteral("delete"), &Simctl::remove},
        {QStringLiteral("erase"), &Simctl::erase},
        {QStringLiteral("boot"), &Simctl::boot},
        {QStringLiteral("shutdown"), &Simctl::shutdown},
        {QStringLiteral("install"), &Simctl::install},
        {QStringLiteral("uninstall"), &Simctl::uninstall},
        {QStringLiteral("launch"), &Simctl::launch},
        {QStringLiteral("addmedia"), &Simctl::addmedia},
    };
    for (const auto &[name, handler] : commands) {
        if (name == command) {
            return (this->*handler)(rest);
        }
    }
    Console::err(QStringLiteral("simctl: unknown subcommand '%1'").arg(command));
    return usageOfAll();
}

std::optional<DeviceRecord> Simctl::device(const QString &udid, QString *error) const
{
    if (udid == QLatin1String("booted")) {
        for (const DeviceRecord &record : m_set.devices()) {
            if (record.state == SimIdentifiers::stateBooted) {
                return record;
            }
        }
        *error = QStringLiteral("No devices are booted.");
        return std::nullopt;
    }
    return m_set.device(udid, error);
}

int Simctl::list(const QStringList &arguments)
{
    bool json = false;
    SimctlListing::Section sections = SimctlListing::Section::All;
    bool sectionGiven = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("-j") || argument == QLatin1String("--json")) {
            json = true;
            continue;
        }
        static const QList<std::pair<QString, SimctlListing::Section>> names = {
            {QStringLiteral("devicetypes"), SimctlListing::Section::DeviceTypes},
            {QStringLiteral("runtimes"), SimctlListing::Section::Runtimes},
            {QStringLiteral("devices"), SimctlListing::Section::Devices},
            {QStringLiteral("pairs"), SimctlListing::Section::Pairs},
        };
        const auto found =
            std::find_if(names.cbegin(), names.cend(),
                         [&argument](const auto &entry) { return entry.first == argument; });
        if (found == names.cend() || sectionGiven) {
            return usage(QStringLiteral("list [-j] [devicetypes|runtimes|devices|pairs]"));
        }
        sections = found->second;
        sectionGiven = true;
    }
    QStringList problems;
    const SimctlListing listing(m_profiles, m_set.devices(&problems));
    for (const QString &problem : problems) {
        Console::err(problem);
    }
    if (json) {
        Console::out(listing.json(sections));
    } else {
        for (const QString &line : listing.text(sections)) {
            Console::out(line);
        }
    }
    return 0;
}

int Simctl::create(const QStringList &arguments)
{
    if (arguments.size() != 3) {
        return usage(QStringLiteral("create <name> <device type> <runtime>"));
    }
    const DeviceTypeProfile *type = m_profiles.findDeviceType(arguments.at(1));
    if (!type) {
        return Console::fail(QStringLiteral("Invalid device type: %1").arg(arguments.at(1)));
    }
    const RuntimeProfile *runtime = m_profiles.findRuntime(arguments.at(2));
    if (!runtime) {
        return Console::fail(QStringLiteral("Invalid runtime: %1").arg(arguments.at(2)));
    }
    if (!SimIdentifiers::platformSupports(runtime->platform, type->family)) {
        return Console::fail(QStringLiteral("Incompatible device: %1 does not run %2")
                                 .arg(type->name, runtime->name));
    }
    QString error;
    const auto record =
        m_set.create(arguments.at(0), type->identifier, runtime->identifier, &error);
    if (!record) {
        return Console::fail(error);
    }
    Console::out(record->udid);
    return 0;
}

int Simctl::remove(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        return usage(QStringLiteral("delete <device>..."));
    }
    QList<DeviceRecord> records;
    QString error;
    for (const QString &udid : arguments) {
        auto record = device(udid, &error);
        if (!record) {
            return Console::fail(error);
        }
        if (record->state != SimIdentifiers::stateShutdown) {
            return fail(QStringLiteral("Unable to delete a device in the current state: %1")
                            .arg(SimIdentifiers::stateName(record->state)),
                        SimIdentifiers::incorrectStateErrorCode);
        }
        records.append(*record);
    }
    for (const DeviceRecord &record : records) {
        int code = 0;
        if (!m_set.remove(record.udid, &error, &code)) {
            return fail(error, code);
        }
    }
    return 0;
}

int Simctl::erase(const QStringList &arguments)
{
    if (arguments.size() != 1) {
        return usage(QStringLiteral("erase <device>"));
    }
    QString error;
    int code = 0;
    const auto record = device(arguments.first(), &error);
    if (!record || !m_set.erase(record->udid, &error, &code)) {
        return fail(error, code);
    }
    return 0;
}

int Simctl::boot(const QStringList &arguments)
{
    if (arguments.size() != 1) {
        return usage(QStringLiteral("boot <device>"));
    }
    QString error;
    int code = 0;
    const auto record = device(arguments.first(), &error);
    if (!record || !m_set.changeState(record->udid, {SimIdentifiers::stateShutdown},
                                      {SimIdentifiers::stateBooting, SimIdentifiers::stateBooted},
                                      QStringLiteral("boot"), &error, &code)) {
        return fail(error, code);
    }
    return 0;
}

int Simctl::shutdown(const QStringList &arguments)
{
    if (arguments.size() != 1) {
        return usage(QStringLiteral("shutdown <device>"));
    }
    QString error;
    int code = 0;
    const auto record = device(arguments.first(), &error);
    if (!record || !m_set.changeState(
                       record->udid, {SimIdentifiers::stateBooted, SimIdentifiers::stateBooting},
                       {SimIdentifiers::stateShuttingDown, SimIdentifiers::stateShutdown},
                       QStringLiteral("shutdown"), &error, &code)) {
        return fail(error, code);
    }
    return 0;
}

int Simctl::install(const QStringList &arguments)
{
    if (arguments.size() != 2) {
        return usage(QStringLiteral("install <device> <path.app>"));
    }
    QString error;
    const auto record = device(arguments.at(0), &error);
    if (!record || !AppInstaller(*record).install(arguments.at(1), &error)) {
        return Console::fail(error);
    }
    return 0;
}

int Simctl::uninstall(const QStringList &arguments)
{
    if (arguments.size() != 2) {
        return usage(QStringLiteral("uninstall <device> <bundle identifier>"));
    }
    QString error;
    const auto record = device(arguments.at(0), &error);
    if (!record || !AppInstaller(*record).uninstall(arguments.at(1), &error)) {
        return Console::fail(error);
    }
    return 0;
}

int Simctl::launch(const QStringList &arguments)
{
    if (arguments.size() < 2) {
        return usage(QStringLiteral("launch <device> <bundle identifier> [argument...]"));
    }
    QString error;
    int code = 0;
    const auto record = device(arguments.at(0), &error);
    if (!record || !AppInstaller(*record).launch(arguments.at(1), &error, &code)) {
        return fail(error, code);
    }
    Console::out(QStringLiteral("%1: launched").arg(arguments.at(1)));
    return 0;
}

int Simctl::addmedia(const QStringList &arguments)
{
    if (arguments.size() < 2) {
        return usage(QStringLiteral("addmedia <device> <photo>..."));
    }
    QString error;
    const auto record = device(arguments.at(0), &error);
    if (!record || !AppInstaller(*record).addMedia(arguments.mid(1), &error)) {
        return Console::fail(error);
    }
    return 0;
}

namespace Xcrun {

int run(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        return Console::fail(QStringLiteral("Usage: xcrun simctl <subcommand> ..."), usageStatus);
    }
    if (arguments.first() != QLatin1String("simctl")) {
        return Console::fail(
            QStringLiteral(
                "xcrun: error: unable to find utility \"%1\", not a developer tool or in PATH")
                .arg(arguments.first()),
            72);
    }
    Simctl simctl;
    return simctl.run(arguments.mid(1));
}

} // namespace Xcrun
