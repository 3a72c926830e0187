#include "Marrowkit/foundation/runclosure.h"

#include "Marrowkit/foundation/describe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {

// Serves this thread's events until `interval` has passed. Without an
// application object there is no event loop to serve, so it only sleeps.
void turnEventLoop(std::chrono::milliseconds interval)
{
    if (!QCoreApplication::instance()) {
        std::this_thread::sleep_for(interval);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(interval, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

Error runClosureTimeoutError(double timeout)
{
    Error error{QStringLiteral("RunClosureDomain"), 1000, {}};
    error.userInfo.insert(
        Error::localizedDescriptionKey(),
        QStringLiteral("The task timed out after %1 seconds.").arg(describeNumber(timeout)));
    return error;
}

void runClosure(const std::function<RunResult()> &closure, double timeout,
                const std::function<void(const RunResult &)> &completion)
{
    using namespace std::chrono;
    const auto interval = duration_cast<milliseconds>(duration<double>(Time::runDelay));
    QElapsedTimer clock;
    clock.start();
    RunResult answer = closure();
    while (answer.isWaiting() && double(clock.nsecsElapsed()) / 1e9 < timeout) {
        turnEventLoop(interval);
        answer = closure();
    }
    if (answer.isWaiting()) {
        answer = RunResult::failure(runClosureTimeoutError(timeout));
    }
    if (completion) {
        completion(answer);
    }
}
