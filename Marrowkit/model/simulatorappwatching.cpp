// Watchers on the app's bundle and data folders.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/platform/fileobserver.h"

void SimulatorApp::startObservingFilesChangesWithCallback(const ChangeCallback &callback)
{
    const std::weak_ptr<SimulatorApp> weak = weak_from_this();
    auto reporting = [weak, callback](SimulatorAppChangeTypes type) {
        return [weak, callback, type] {
            if (auto app = weak.lock(); app && callback) {
                callback(app, type);
            }
        };
    };
    if (m_sandboxURL) {
        m_sandboxFileObserver = std::make_unique<FileObserver>(
            *m_sandboxURL, reporting(SimulatorAppChangeTypes::SandboxUpdated), [] {});
        m_sandboxFileObserver->startMonitoring();
    }
    if (m_bundleURL) {
        m_bundleFileObserver = std::make_unique<FileObserver>(
            *m_bundleURL, reporting(SimulatorAppChangeTypes::BundleUpdated), [] {});
        m_bundleFileObserver->startMonitoring();
    }
}

void SimulatorApp::stopObservingFileChanges()
{
    if (m_sandboxFileObserver) {
        m_sandboxFileObserver->stopMonitoring();
        m_sandboxFileObserver.reset();
    }
    if (m_bundleFileObserver) {
        m_bundleFileObserver->stopMonitoring();
        m_bundleFileObserver.reset();
    }
}
