#pragma once

#include <QMap>
#include <QStringList>

#include "drives/DriveSystem.h"

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
    void setVolumeLabel(char letter, const QString &label);

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
    QString volumeLabel(char letter) override;
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
        QString label;
    };
    class Monitor;
    QMap<char, State> m_drives;
    QStringList m_doorCalls;
    Monitor *m_monitor;
};
