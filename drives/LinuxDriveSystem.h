#pragma once

#include <QHash>
#include <QPointer>
#include <QSet>

#include "DriveSystem.h"
#include "LinuxPlatform.h"

class QSocketNotifier;
class QTimer;
class QFileSystemWatcher;
class LinuxDriveSystem;

// Media arrival on Linux, only while started: udev "change" events of our optical drives, each
// delivered once the disc's file system is mounted (mounting it through udisks2 when nobody
// else did within 3 seconds), and folder drives polled every 500 ms for turning ready.
class LinuxMediaMonitor : public MediaMonitor
{
    Q_OBJECT
public:
    explicit LinuxMediaMonitor(LinuxDriveSystem *system);
    ~LinuxMediaMonitor() override;

    // A medium change of an optical drive, as udev reports it (public so tests can feed one).
    void mediaChanged(const QString &sysname, const QMap<QByteArray, QByteArray> &properties);
    // Looks at pending discs and folder drives now (the timer and the mount table call it).
    void poll();

protected:
    void startWatching() override;
    void stopWatching() override;

private:
    void startUdev();
    void readUdev();
    void startMountWatch();
    void deliver(char letter);

    struct Pending
    {
        QString devnode;
        QString sysname;
        qint64 since = 0; // ms since epoch when the change came
        bool mountAsked = false;
    };
    LinuxDriveSystem *m_system;
    QTimer *m_timer = nullptr;
    QSocketNotifier *m_udevNotifier = nullptr;
    QSocketNotifier *m_mountNotifier = nullptr;
    int m_mountFd = -1;
    void *m_udev = nullptr;
    void *m_udevMonitor = nullptr;
    QHash<char, Pending> m_pending;
    QSet<char> m_readyFolders;
};

class LinuxDriveSystem : public DriveSystem
{
public:
    // platform: not owned; the machine's own when null.
    explicit LinuxDriveSystem(LinuxPlatform *platform = nullptr);
    ~LinuxDriveSystem() override;

    QList<DriveInfo> drives() override;
    bool isReady(char letter) override;
    bool isAudio(char letter) override;
    QString rootPath(char letter, bool mount) override;
    QString volumeLabel(char letter) override;
    void eject(char letter) override;
    void closeTray(char letter) override;
    MediaMonitor *mediaMonitor() override;

    LinuxPlatform *platform() const { return m_platform; }
    // The mount point of a device node ("/" ended), empty when it is not mounted.
    QString mountPointOf(const QString &devnode);
    // Whether a medium in the optical drive carries a file system (mounted or mountable).
    bool opticalHasFileSystem(const DriveInfo &d);

private:
    LinuxPlatform *m_platform;
    LinuxMediaMonitor *m_monitor = nullptr;
};

// Folder drives bound in the settings (letter -> folder), without checking optical drives.
QMap<char, QString> boundFolderDrives();
// Whether a folder drive's folder exists and holds at least one entry.
bool folderDriveReady(const QString &folder);
