#include "Marrowkit/platform/pasteboard.h"

#include "Marrowkit/foundation/dispatchqueue.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

bool writeString(const QString &text)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        return false;
    }
    bool written = false;
    GlobalMainQueue()->sync([&text, &written] {
        QClipboard *clipboard = QGuiApplication::clipboard();
        auto *data = new QMimeData;
        data->setText(text);
        clipboard->setMimeData(data, QClipboard::Clipboard);
        written = clipboard->text(QClipboard::Clipboard) == text;
    });
    return written;
}
