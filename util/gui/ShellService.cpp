#include "ShellService.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

namespace {

bool putOnClipboard(QMimeData *data)
{
    QClipboard *clipboard = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                                ? QGuiApplication::clipboard()
                                : nullptr;
    if (!clipboard) {
        delete data;
        return false;
    }
    const QPointer<QMimeData> guard(data);
    clipboard->setMimeData(data);
    // When another client keeps the selection the platform drops our data.
    return guard && clipboard->mimeData() == guard.data();
}

class DesktopShell : public ShellService
{
public:
    bool openUrl(const QUrl &url) override { return QDesktopServices::openUrl(url); }
    bool setClipboard(QMimeData *data) override { return putOnClipboard(data); }
};

ShellService *g_testShell = nullptr;

} // namespace

ShellService &shell()
{
    static DesktopShell desktop;
    return g_testShell ? *g_testShell : desktop;
}

void setShellForTesting(ShellService *service)
{
    g_testShell = service;
}

bool RecordingShell::openUrl(const QUrl &url)
{
    openedUrls << url;
    return openResult;
}

bool RecordingShell::setClipboard(QMimeData *data)
{
    if (clipboardFails) {
        delete data;
        return false;
    }
    return putOnClipboard(data);
}
