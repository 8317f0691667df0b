#include "drives/testing/FakeDriveSystem.h"

class FakeDriveSystem::Monitor : public MediaMonitor
{
public:
    int starts = 0;
    int stops = 0;
    void deliver(const VolumeNotice &notice) { emit mediaArrived(notice); }

protected:
    void startWatching() override { ++starts; }
    void stopWatching() override { ++stops; }
};

FakeDriveSystem::FakeDriveSystem() : m_monitor(new Monitor) {}

FakeDriveSystem::~FakeDriveSystem()
{
    delete m_monitor;
}

void FakeDriveSystem::addOpticalDrive(char letter, const QString &device)
{
    State s;
    s.info.letter = letter;
    s.info.kind = DriveKind::Optical;
    s.info.device = device.isEmpty() ? QStringLiteral("/dev/sr%1").arg(letter - 'D') : device;
    m_drives.insert(letter, s);
}

void FakeDriveSystem::addFolderDrive(char letter, const QString &folder)
{
    State s;
    s.info.letter = letter;
    s.info.kind = DriveKind::Folder;
    s.info.folder = folder;
    m_drives.insert(letter, s);
}

void FakeDriveSystem::addFixedDrive(char letter, const QString &folder)
{
    State s;
    s.info.letter = letter;
    s.info.kind = DriveKind::Fixed;
    s.info.folder = folder;
    s.ready = true;
    s.root = folder;
    m_drives.insert(letter, s);
}

void FakeDriveSystem::removeDrive(char letter)
{
    m_drives.remove(letter);
}

void FakeDriveSystem::setReady(char letter, bool ready)
{
    m_drives[letter].ready = ready;
}

void FakeDriveSystem::setAudio(char letter, bool audio)
{
    m_drives[letter].audio = audio;
}

void FakeDriveSystem::setRootPath(char letter, const QString &path)
{
    m_drives[letter].root = path;
}

void FakeDriveSystem::setVolumeLabel(char letter, const QString &label)
{
    m_drives[letter].label = label;
}

QString FakeDriveSystem::volumeLabel(char letter)
{
    const auto it = m_drives.constFind(letter);
    return it != m_drives.cend() && it->info.kind == DriveKind::Optical ? it->label : QString();
}

bool FakeDriveSystem::emitArrival(char letter)
{
    return emitNotice(mediaNoticeFor(letter));
}

bool FakeDriveSystem::emitNotice(const VolumeNotice &notice)
{
    if (!m_monitor->isStarted())
        return false;
    m_monitor->deliver(notice);
    return true;
}

int FakeDriveSystem::monitorStarts() const
{
    return m_monitor->starts;
}

int FakeDriveSystem::monitorStops() const
{
    return m_monitor->stops;
}

QList<DriveInfo> FakeDriveSystem::drives()
{
    QList<DriveInfo> out;
    for (const State &s : std::as_const(m_drives))
        if (s.info.kind != DriveKind::None)
            out.append(s.info);
    return out;
}

bool FakeDriveSystem::isReady(char letter)
{
    const auto it = m_drives.constFind(letter);
    return it != m_drives.cend() && it->info.kind != DriveKind::None && it->ready;
}

bool FakeDriveSystem::isAudio(char letter)
{
    const auto it = m_drives.constFind(letter);
    return it != m_drives.cend() && it->info.kind == DriveKind::Optical && it->audio;
}

QString FakeDriveSystem::rootPath(char letter, bool mount)
{
    Q_UNUSED(mount)
    const auto it = m_drives.constFind(letter);
    return it != m_drives.cend() && it->info.kind != DriveKind::None ? it->root : QString();
}

void FakeDriveSystem::eject(char letter)
{
    m_doorCalls.append(QStringLiteral("open ") + QLatin1Char(letter));
}

void FakeDriveSystem::closeTray(char letter)
{
    m_doorCalls.append(QStringLiteral("close ") + QLatin1Char(letter));
}

MediaMonitor *FakeDriveSystem::mediaMonitor()
{
    return m_monitor;
}
