// MarrowbyHelper: started at login by the user's autostart entry, starts the
// Marrowby application it is packaged in (unless it runs already) and ends.
#include "instancelock.h"
#include "loginhelper.h"

#include "Marrowkit/platform/bundle.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const auto helper = Bundle::containing(self);
    const LoginHelper::Report report = LoginHelper::applicationDidFinishLaunching(
        helper ? helper->path() : self, InstanceLock::defaultPath());
    switch (report.outcome) {
    case LoginHelper::Outcome::Launched:
    case LoginHelper::Outcome::RunsAlready:
        break;
    case LoginHelper::Outcome::NoApplication:
    case LoginHelper::Outcome::LaunchFailed:
        (void)std::fprintf(stderr, "MarrowbyHelper: %s\n", qPrintable(report.detail));
        break;
    }
    // The helper ends whatever happened; there is nobody to tell.
    return 0;
}
