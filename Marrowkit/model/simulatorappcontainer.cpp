// The app's bundle container: its name, moving to a new one after a
// reinstall, and re-reading the info dictionary.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/model/containerfiles.h"
#include "Marrowkit/model/infodictionarykey.h"
#include "model/simulatorappvalues_p.h"

#include <cstdio>

using namespace SimulatorAppValues;

std::optional<QString> SimulatorApp::containerName() const
{
    if (!m_bundleURL) {
        return std::nullopt;
    }
    return lastPathComponent(upwards(*m_bundleURL, 1));
}

void SimulatorApp::updateContainerName(const QString &name)
{
    const QString line =
        QStringLiteral("update ") + m_name + QStringLiteral(" to container name ") + name;
    (void)std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    (void)std::fflush(stdout);
    // The name is a folder name; anything that would lead elsewhere is ignored.
    if (!m_bundleURL || name.isEmpty() || name.contains(QLatin1Char('/')) ||
        name == QLatin1String(".") || name == QLatin1String("..")) {
        return;
    }
    const QUrl containers = upwards(*m_bundleURL, 2);
    m_bundleURL = appending(appending(containers, name), lastPathComponent(*m_bundleURL));
    updateAppInfo();
}

void SimulatorApp::updateAppInfo()
{
    if (!m_bundleURL) {
        return;
    }
    // Never through a link, never blocking on a FIFO, never large.
    const auto info = ContainerFiles::readInfoPlist(m_bundleURL->toLocalFile());
    if (info.isFailure()) {
        return;
    }
    m_info = *info.value();
    if (auto name = text(m_info, InfoDictionaryKey::BundleName)) {
        m_name = *name;
    }
    if (auto identifier = text(m_info, InfoDictionaryKey::BundleIdentifier)) {
        m_bundleIdentifier = *identifier;
    }
    const auto shortVersion = text(m_info, InfoDictionaryKey::BundleShortVersionString);
    const auto version = text(m_info, InfoDictionaryKey::BundleVersion);
    if (shortVersion && version) {
        m_versionDescription = *shortVersion + QStringLiteral(" (") + *version + QLatin1Char(')');
    }
}
