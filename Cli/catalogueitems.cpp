#include "catalogueitems.h"

#include "Marrowkit/Connection/displaynames.h"

#include <QStringList>

namespace CatalogueItems {

namespace {

// One candidate: the item and the texts it may be called by.
template<typename T> struct Candidate
{
    T item;
    QString uuid;
    QStringList names;
    QString shown;
};

template<typename T>
Found<T> choose(const QList<Candidate<T>> &candidates, const QString &given, const QString &kind)
{
    if (given.isEmpty()) {
        return QStringLiteral("no %1 given").arg(kind);
    }
    // Exact matches win over prefixes; a uuid matches regardless of case.
    for (const bool exact : {true, false}) {
        QList<const Candidate<T> *> matches;
        for (const Candidate<T> &candidate : candidates) {
            bool match = exact ? candidate.uuid.compare(given, Qt::CaseInsensitive) == 0
                               : candidate.uuid.startsWith(given, Qt::CaseInsensitive);
            for (const QString &name : candidate.names) {
                match = match || (exact ? name == given : name.startsWith(given));
            }
            if (match) {
                matches.append(&candidate);
            }
        }
        if (matches.size() == 1) {
            return matches.constFirst()->item;
        }
        if (matches.size() > 1) {
            QStringList shown;
            for (const auto *match : std::as_const(matches)) {
                shown.append(match->shown + QStringLiteral(" (") + match->uuid + QLatin1Char(')'));
            }
            return QStringLiteral("\"%1\" names more than one %2: %3")
                .arg(given, kind, shown.join(QStringLiteral(", ")));
        }
    }
    return QStringLiteral("no %1 \"%2\"").arg(kind, given);
}

} // namespace

Found<SimulatorDevicePtr> findDevice(const QList<SimulatorDevicePtr> &devices, const QString &given)
{
    const auto shown = DisplayNames::deviceNameMap(devices);
    QList<Candidate<SimulatorDevicePtr>> candidates;
    for (const SimulatorDevicePtr &device : devices) {
        const QString name = shown.value(device->uuid(), device->name());
        candidates.append({device, device->uuid(), {name}, name});
    }
    return choose(candidates, given, QStringLiteral("device"));
}

Found<SimulatorAppPtr> findApp(const SimulatorDevice &device, const QString &given)
{
    QList<Candidate<SimulatorAppPtr>> candidates;
    for (const auto &[app, name] : DisplayNames::appNameMapForDevice(device)) {
        candidates.append({app, app->uuid(), {name, app->bundleIdentifier()}, name});
    }
    return choose(candidates, given, QStringLiteral("app on ") + device.name());
}

} // namespace CatalogueItems
