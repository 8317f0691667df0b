#pragma once

#include <QList>
#include <QUrl>

class QMimeData;

// The two desktop services the program hands things to: opening an address with its
// associated program, and the clipboard. Tests replace them with RecordingShell.
class ShellService
{
public:
    virtual ~ShellService() = default;
    // Hands the address to the desktop (xdg-open and friends); true when a launcher started.
    virtual bool openUrl(const QUrl &url) = 0;
    // Puts data on the clipboard, which takes ownership; false when the clipboard refused it.
    virtual bool setClipboard(QMimeData *data) = 0;
};

// The service in use: the desktop's unless a test installed its own.
ShellService &shell();
// nullptr puts the desktop's service back. The caller keeps ownership.
void setShellForTesting(ShellService *service);

// Records every opened address; the clipboard still goes to the application's clipboard
// (which works in-process under the offscreen platform) unless clipboardFails is set.
class RecordingShell : public ShellService
{
public:
    bool openUrl(const QUrl &url) override;
    bool setClipboard(QMimeData *data) override;

    QList<QUrl> openedUrls;
    bool openResult = true;
    bool clipboardFails = false;
};
