#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/model/infodictionarykey.h"
#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/platform/fileobserver.h"
#include "Marrowkit/platform/foldersize.h"
#include "model/simulatorappvalues_p.h"

using namespace SimulatorAppValues;

QString SimulatorApp::rawValue(SimulatorAppChangeTypes type)
{
    switch (type) {
    case SimulatorAppChangeTypes::SandboxUpdated:
        return QStringLiteral("SandboxUpdated");
    case SimulatorAppChangeTypes::SandboxDeleted:
        return QStringLiteral("SandboxDeleted");
    case SimulatorAppChangeTypes::BundleUpdated:
        return QStringLiteral("BundlepUpdated");
    case SimulatorAppChangeTypes::BundleDeleted:
        return QStringLiteral("BundleDeleted");
    }
    return {};
}

std::optional<SimulatorApp::SimulatorAppChangeTypes>
SimulatorApp::changeTypeFromRawValue(const QString &rawValue)
{
    for (auto type :
         {SimulatorAppChangeTypes::SandboxUpdated, SimulatorAppChangeTypes::SandboxDeleted,
          SimulatorAppChangeTypes::BundleUpdated, SimulatorAppChangeTypes::BundleDeleted}) {
        if (SimulatorApp::rawValue(type) == rawValue) {
            return type;
        }
    }
    return std::nullopt;
}

SimulatorAppPtr
SimulatorApp::create(const QString &uuid, const QVariantMap &info, const std::optional<Image> &icon,
                     const std::optional<QUrl> &bundleURL, const std::optional<QUrl> &sandboxURL,
                     const std::optional<QDateTime> &creationDate, bool hasTemplateIcon)
{
    if (!text(info, InfoDictionaryKey::BundleIdentifier)) {
        return nullptr;
    }
    return std::make_shared<SimulatorApp>(Private(), uuid, info, icon, bundleURL, sandboxURL,
                                          creationDate, hasTemplateIcon);
}

SimulatorAppPtr
SimulatorApp::create(const QString &uuid, const QString &name,
                     const std::shared_ptr<SimulatorDevice> &, const std::optional<Image> &icon,
                     const std::optional<QUrl> &bundleURL, const std::optional<QUrl> &sandboxURL,
                     const std::optional<QDateTime> &creationDate, bool hasTemplateIcon)
{
    const QVariantMap info{{InfoDictionaryKey::BundleDisplayName, name},
                           {InfoDictionaryKey::BundleIdentifier, QString(unknownIdentifier)}};
    auto app =
        create(uuid, info, std::nullopt, bundleURL, sandboxURL, creationDate, hasTemplateIcon);
    app->m_icon = icon;
    return app;
}

SimulatorAppPtr SimulatorApp::fromAppData(const QVariantMap &appData, const QString &)
{
    const auto bundle = fileURL(appData, QLatin1String("containerURL"));
    const auto info = dictionary(appData, QLatin1String("info"));
    if (!bundle || !info) {
        return nullptr;
    }
    const QUrl sandbox = fileURL(appData, QLatin1String("dataURL")).value_or(upwards(*bundle, 1));
    const auto created = modifiedDateForFolderAtURL(upwards(*bundle, 1));
    return create(lastPathComponent(sandbox), *info, std::nullopt, bundle, sandbox, created, false);
}

SimulatorApp::SimulatorApp(QString uuid, QString name, QString versionDescription)
    : SimulatorItem(std::move(uuid)), m_bundleIdentifier(unknownIdentifier),
      m_versionDescription(std::move(versionDescription)), m_name(std::move(name)),
      m_creationDate(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC)),
      m_info{{InfoDictionaryKey::BundleDisplayName, m_name},
             {InfoDictionaryKey::BundleIdentifier, QString(unknownIdentifier)}}
{}

SimulatorApp::SimulatorApp(Private, const QString &uuid, const QVariantMap &info,
                           const std::optional<Image> &icon, const std::optional<QUrl> &bundleURL,
                           const std::optional<QUrl> &sandboxURL,
                           const std::optional<QDateTime> &creationDate, bool hasTemplateIcon)
    : SimulatorItem(uuid),
      m_bundleIdentifier(text(info, InfoDictionaryKey::BundleIdentifier).value_or(QString())),
      m_versionDescription(appVersionDescriptionFromInfoDictionary(info)),
      m_name(appNameFromInfoDictionary(info)), m_icon(icon),
      m_creationDate(creationDate.value_or(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC))),
      m_hasTemplateIcon(hasTemplateIcon), m_info(info), m_bundleURL(bundleURL),
      m_sandboxURL(sandboxURL)
{}

SimulatorApp::~SimulatorApp() = default;

QString SimulatorApp::appNameFromInfoDictionary(const QVariantMap &info)
{
    if (auto name = text(info, InfoDictionaryKey::BundleDisplayName)) {
        return *name;
    }
    return text(info, InfoDictionaryKey::BundleName).value_or(QStringLiteral("<Untitled App>"));
}

QString SimulatorApp::appVersionDescriptionFromInfoDictionary(const QVariantMap &info)
{
    const auto version = text(info, InfoDictionaryKey::BundleVersion);
    const auto shortVersion = text(info, InfoDictionaryKey::BundleShortVersionString);
    if (!shortVersion) {
        return QStringLiteral("<Unknown version>");
    }
    if (!version || *version == *shortVersion) {
        return *shortVersion;
    }
    return *shortVersion + QStringLiteral(" (") + *version + QLatin1Char(')');
}

void SimulatorApp::setDevice(const std::shared_ptr<SimulatorDevice> &device)
{
    m_device = device;
    if (!m_icon) {
        m_icon = generateIcon();
    }
}

QString SimulatorApp::description() const
{
    return uuid() + QStringLiteral(": ") + m_name + QStringLiteral(".app (") +
           m_versionDescription + QLatin1Char(')');
}

bool SimulatorApp::isEqual(const SimulatorItem &other) const
{
    return dynamic_cast<const SimulatorApp *>(&other) && other.uuid() == uuid();
}
