// The space the app takes on disk, computed once in the background.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/platform/foldersize.h"

void SimulatorApp::bundleFileSize(const std::function<void(qint64)> &callback)
{
    bundleFileSize(GlobalMainQueue(), callback);
}

void SimulatorApp::bundleFileSize(const DispatchQueuePtr &queue,
                                  const std::function<void(qint64)> &callback)
{
    if (auto cached = cachedBundleSize()) {
        queue->async([callback, size = *cached] { callback(size); });
        return;
    }
    // The walk gets its own copies of the URLs: the app stays on its thread.
    GlobalBackgroundQueue()->async(
        [weak = weak_from_this(), bundle = m_bundleURL, sandbox = m_sandboxURL, queue, callback] {
            if (!bundle || !sandbox) {
                return;
            }
            const qint64 size = sizeOfFolderAtURL(*bundle) + sizeOfFolderAtURL(*sandbox);
            if (auto app = weak.lock()) {
                app->setCachedBundleSize(size);
            }
            queue->async([callback, size] { callback(size); });
        });
}

std::optional<qint64> SimulatorApp::cachedBundleSize() const
{
    const qint64 size = m_cachedBundleSize.load();
    return size < 0 ? std::nullopt : std::optional<qint64>(size);
}

void SimulatorApp::setCachedBundleSize(std::optional<qint64> size)
{
    m_cachedBundleSize.store(size && *size >= 0 ? *size : -1);
}
