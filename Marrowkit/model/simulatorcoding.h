// How devices, proxy devices, apps and updates travel between processes:
// keyed archives (see archivableobject.h) holding either a list of devices
// with their apps or one update.
//
// Keys, in the order they are written, and what reading requires:
//   SimulatorDevice       uuid, name, displayName, apps, version, type (raw
//                         text), state (raw number): required; containerUrl
//                         (written even when absent): optional
//   SimulatorProxyDevice  uuid: required
//   SimulatorApp          uuid, info (at most maximumInfoNesting deep):
//                         required; name: written, not read;
//                         icon, bundle, sandbox (written when present),
//                         created: optional; hasTemplateIcon: optional, true
//                         when absent or not a flag
//   SimulatorUpdate       type (one of the six raw values), items: required
// Optional values of the wrong kind read as absent; anything else that does
// not read gives no object at all, and a failure that says why.
//
// Reading makes new objects owned by the caller; a device's apps get the
// device as their device (drawing an icon for those that came without). An
// archive that names one catalogue object twice (one app listed by two
// devices) does not read: the object could belong to only one of them.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/model/simulatorupdate.h"
#include "Marrowkit/plist/archivableobject.h"
#include "Marrowkit/plist/keyedunarchiver.h"

#include <QByteArray>
#include <QList>

#include <optional>

class KeyedArchiver;
class SimulatorApp;
class SimulatorProxyDevice;

Q_DECLARE_METATYPE(SimulatorItemPtr)
Q_DECLARE_METATYPE(SimulatorUpdatePtr)

class MARROWKIT_EXPORT SimulatorCoding
{
public:
    SimulatorCoding() = delete;

    // How many lists and dictionaries an app's info dictionary may nest,
    // itself counted: deeper values are left out on writing, and an archive
    // holding a deeper one does not read, so that whatever reads is written
    // again unchanged. The objects around an info dictionary (an update, its
    // items, a device, its apps, the app) and a date at the bottom still fit
    // KeyedArchive::maximumDepth.
    static constexpr int maximumInfoNesting = 90;

    // The class names recorded in archives.
    static const QString &deviceClassName();      // "SimulatorDevice"
    static const QString &proxyDeviceClassName(); // "SimulatorProxyDevice"
    static const QString &appClassName();         // "SimulatorApp"
    static const QString &updateClassName();      // "SimulatorUpdate"

    // Errors of the calls below that the archive layers do not make
    // themselves; theirs (KeyedArchiveError, PropertyListError) pass through.
    static QString errorDomain(); // "dev.marrowby.marrowby.SimulatorCoding"
    enum ErrorCode {
        NotArchivable = 1, // a null device in the list
        WrongRoot,         // the root read, but is not what the call needs
    };

    // The two archives that carry catalogue objects.
    static Result<QByteArray> archivedDataWithDevices(const QList<SimulatorDevicePtr> &devices);
    static Result<QByteArray> archivedDataWithUpdate(const SimulatorUpdate &update);
    // A failure that says why unless the archive holds exactly a list of
    // devices, or one update, and everything in it reads.
    static Result<QList<SimulatorDevicePtr>> devicesFromArchive(const QByteArray &data);
    static Result<SimulatorUpdate> updateFromArchive(const QByteArray &data);

    // A device, proxy device or app ready to be written (nothing for other
    // items), and an update.
    static std::optional<ArchivableObject> archivable(const SimulatorItemPtr &item);
    static ArchivableObject archivable(const SimulatorUpdate &update);

    static void encodeWithCoder(const SimulatorDevice &device, KeyedArchiver &coder);
    static void encodeWithCoder(const SimulatorProxyDevice &device, KeyedArchiver &coder);
    static void encodeWithCoder(const SimulatorApp &app, KeyedArchiver &coder);
    static void encodeWithCoder(const SimulatorUpdate &update, KeyedArchiver &coder);

    // Decoders of the four classes: items come back as SimulatorItemPtr,
    // updates as SimulatorUpdatePtr.
    static std::optional<QVariant> initDeviceWithCoder(KeyedUnarchiver &coder);
    static std::optional<QVariant> initProxyDeviceWithCoder(KeyedUnarchiver &coder);
    static std::optional<QVariant> initAppWithCoder(KeyedUnarchiver &coder);
    static std::optional<QVariant> initUpdateWithCoder(KeyedUnarchiver &coder);
    static const KeyedUnarchiver::DecoderTable &decoders();

private:
    static Error error(ErrorCode code, const QString &description);
};
