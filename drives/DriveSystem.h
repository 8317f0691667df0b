#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "MediaMonitor.h"

// The machine's drives as the program sees them: one-letter names mapped to Linux volumes.
// gDrives.h is the program's way in; this interface is what it runs on, so tests can swap in
// FakeDriveSystem. Letters passed here are already upper case 'A'..'Z'.

enum class DriveKind {
    None,    // no drive behind the letter
    Fixed,   // "C", the root file system
    Optical, // a CD/DVD drive, /dev/srN
    Folder,  // a folder the user bound to a letter; handled like a CD/DVD drive
};

struct DriveInfo
{
    char letter = 0;
    DriveKind kind = DriveKind::None;
    QString device; // "/dev/sr0" for an optical drive
    QString folder; // the bound folder of a folder drive, "/" for the root file system
};

class DriveSystem
{
public:
    virtual ~DriveSystem() = default;

    // Every letter that has a drive, in letter order.
    virtual QList<DriveInfo> drives() = 0;
    // The drive behind one letter (kind None when there is none).
    DriveInfo drive(char letter);

    virtual bool isReady(char letter) = 0;
    virtual bool isAudio(char letter) = 0;
    // Where the medium's files are, ending in "/"; empty when there is none. With mount set, a
    // medium that has a file system but is not mounted yet gets mounted first.
    virtual QString rootPath(char letter, bool mount) = 0;
    virtual void eject(char letter) = 0;
    virtual void closeTray(char letter) = 0;
    // Owned by the drive system; lives as long as it does.
    virtual MediaMonitor *mediaMonitor() = 0;
};

// The drive system gDrives uses: the Linux one unless a test installed another.
DriveSystem &driveSystem();
// Makes gDrives use ds (not owned); nullptr goes back to the Linux drive system.
void setDriveSystemForTesting(DriveSystem *ds);

// A drive system that answers what the test set and records what was asked of the doors.
class FakeDriveSystem : public DriveSystem
{
public:
    FakeDriveSystem();
    ~FakeDriveSystem() override;

    // An optical drive ("/dev/srN" when device is empty) or a folder drive; replaces any
    // drive the letter had. Both start not ready, not audio, without a root path.
    void addOpticalDrive(char letter, const QString &device = QString());
    void addFolderDrive(char letter, const QString &folder);
    void addFixedDrive(char letter, const QString &folder = QStringLiteral("/"));
    void removeDrive(char letter);

    void setReady(char letter, bool ready);
    void setAudio(char letter, bool audio);
    void setRootPath(char letter, const QString &path);

    // Door calls in order, as "open D" / "close D".
    QStringList doorCalls() const { return m_doorCalls; }
    void clearDoorCalls() { m_doorCalls.clear(); }

    // Emits a media arrival for the letter, as the real monitor would: only while the monitor
    // is started. Returns whether it was delivered.
    bool emitArrival(char letter);
    // Any notice, for notices without the media flag or with several letters.
    bool emitNotice(const VolumeNotice &notice);
    // How often the monitor was started and stopped (to check that a window stops it again).
    int monitorStarts() const;
    int monitorStops() const;

    QList<DriveInfo> drives() override;
    bool isReady(char letter) override;
    bool isAudio(char letter) override;
    QString rootPath(char letter, bool mount) override;
    void eject(char letter) override;
    void closeTray(char letter) override;
    MediaMonitor *mediaMonitor() override;

private:
    struct State
    {
        DriveInfo info;
        bool ready = false;
        bool audio = false;
        QString root;
    };
    class Monitor;
    QMap<char, State> m_drives;
    QStringList m_doorCalls;
    Monitor *m_monitor;
};
