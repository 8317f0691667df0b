#include "LinuxDriveSystem.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#ifdef AMBRY_HAVE_UDEV
#include <libudev.h>
#endif

#include "settings/Settings.h"

Q_LOGGING_CATEGORY(lcDrives, "ambrylog.drives")

namespace {

QString withSlash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString withoutSlash(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

} // namespace

QMap<char, QString> boundFolderDrives()
{
    QMap<char, QString> out;
    // The settings store has no value listing, and only 26 names can matter.
    for (char c = 'A'; c <= 'Z'; ++c) {
        if (c == 'C')
            continue; // the root file system owns C
        const QString folder = settings::get(settings::folderDrive(c)).trimmed();
        if (!folder.isEmpty() && QDir::isAbsolutePath(folder))
            out.insert(c, QDir::cleanPath(folder));
    }
    return out;
}

bool folderDriveReady(const QString &folder)
{
    const QFileInfo fi(folder);
    if (!fi.isDir() || !fi.isReadable())
        return false;
    QDir dir(folder);
    return !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

LinuxDriveSystem::LinuxDriveSystem(LinuxPlatform *platform)
    : m_platform(platform ? platform : systemLinuxPlatform())
{}

LinuxDriveSystem::~LinuxDriveSystem()
{
    delete m_monitor;
}

QList<DriveInfo> LinuxDriveSystem::drives()
{
    QMap<char, DriveInfo> byLetter;
    DriveInfo root;
    root.letter = 'C';
    root.kind = DriveKind::Fixed;
    root.folder = QStringLiteral("/");
    byLetter.insert('C', root);

    const QList<OpticalDevice> optical = m_platform->opticalDevices();
    for (const OpticalDevice &o : optical) {
        const int code = 'D' + o.index;
        if (o.index < 0 || code > 'Z')
            continue; // sr23 and beyond have no letter
        DriveInfo d;
        d.letter = char(code);
        d.kind = DriveKind::Optical;
        d.device = o.devnode;
        byLetter.insert(d.letter, d);
    }
    const QMap<char, QString> folders = boundFolderDrives();
    for (auto it = folders.cbegin(); it != folders.cend(); ++it) {
        if (byLetter.contains(it.key()))
            continue; // an optical drive holds the letter
        DriveInfo d;
        d.letter = it.key();
        d.kind = DriveKind::Folder;
        d.folder = it.value();
        byLetter.insert(d.letter, d);
    }
    return byLetter.values();
}

QString LinuxDriveSystem::mountPointOf(const QString &devnode)
{
    const QString dev = m_platform->canonicalDevice(devnode);
    const QList<MountEntry> table = m_platform->mounts();
    for (const MountEntry &m : table) {
        if (!m.source.startsWith(QLatin1String("/dev/")))
            continue;
        if (m.source == devnode || m.source == dev || m_platform->canonicalDevice(m.source) == dev)
            return withSlash(m.mountPoint);
    }
    return {};
}

bool LinuxDriveSystem::opticalHasFileSystem(const DriveInfo &d)
{
    if (!mountPointOf(d.device).isEmpty())
        return true;
    const int status = m_platform->driveStatus(d.device);
    const QMap<QByteArray, QByteArray> props =
        m_platform->udevProperties(d.device.section(QLatin1Char('/'), -1));
    if (status == -1 || status == cdrom::NoInfo) {
        // The device cannot be asked (no access): udev saw the medium when it arrived.
        return props.value("ID_CDROM_MEDIA") == "1" && !props.value("ID_FS_TYPE").isEmpty();
    }
    if (status != cdrom::DiscOk)
        return false;
    if (!props.isEmpty() && props.contains("ID_CDROM_MEDIA")) {
        if (!props.value("ID_FS_TYPE").isEmpty())
            return true;
        // udev runs blkid only when the disc has data tracks, so no type may just mean
        // that it has not looked yet; the disc itself answers then.
    }
    const int disc = m_platform->discStatus(d.device);
    if (disc == cdrom::Audio)
        return false;
    return m_platform->hasFileSystemSignature(d.device);
}

bool LinuxDriveSystem::isReady(char letter)
{
    const DriveInfo d = drive(letter);
    switch (d.kind) {
    case DriveKind::None:
        return false;
    case DriveKind::Fixed:
        return QFileInfo(d.folder).isDir();
    case DriveKind::Folder:
        return folderDriveReady(d.folder);
    case DriveKind::Optical:
        return opticalHasFileSystem(d);
    }
    return false;
}

bool LinuxDriveSystem::isAudio(char letter)
{
    const DriveInfo d = drive(letter);
    if (d.kind != DriveKind::Optical)
        return false;
    const int status = m_platform->driveStatus(d.device);
    if (status == cdrom::DiscOk) {
        const int disc = m_platform->discStatus(d.device);
        if (disc >= cdrom::Audio && disc <= cdrom::Mixed)
            return disc == cdrom::Audio;
    } else if (status != -1 && status != cdrom::NoInfo) {
        return false; // no disc, tray open or not ready yet
    }
    // The drive would not say: udev's track counts of the medium tell the same.
    const QMap<QByteArray, QByteArray> props =
        m_platform->udevProperties(d.device.section(QLatin1Char('/'), -1));
    if (props.value("ID_CDROM_MEDIA") != "1")
        return false;
    const int audio = props.value("ID_CDROM_MEDIA_TRACK_COUNT_AUDIO").toInt();
    const int data = props.value("ID_CDROM_MEDIA_TRACK_COUNT_DATA").toInt();
    return audio > 0 && data == 0;
}

QString LinuxDriveSystem::rootPath(char letter, bool mount)
{
    const DriveInfo d = drive(letter);
    switch (d.kind) {
    case DriveKind::None:
        return {};
    case DriveKind::Fixed:
        return QStringLiteral("/");
    case DriveKind::Folder: {
        const QFileInfo fi(d.folder);
        if (!fi.isDir())
            return {};
        // The walk compares real paths, so a folder reached through a link gives its target.
        return withSlash(fi.canonicalFilePath());
    }
    case DriveKind::Optical: {
        const QString mounted = mountPointOf(d.device);
        if (!mounted.isEmpty() || !mount)
            return mounted;
        if (!opticalHasFileSystem(d))
            return {};
        const QString path = m_platform->udisksMount(d.device.section(QLatin1Char('/'), -1));
        return path.isEmpty() ? mountPointOf(d.device) : withSlash(path);
    }
    }
    return {};
}

QString LinuxDriveSystem::volumeLabel(char letter)
{
    const DriveInfo d = drive(letter);
    if (d.kind != DriveKind::Optical)
        return {};
    // udev reads the label when the medium arrives, so asking it never spins the disc up.
    const QMap<QByteArray, QByteArray> props =
        m_platform->udevProperties(d.device.section(QLatin1Char('/'), -1));
    if (props.value("ID_CDROM_MEDIA") != "1")
        return {};
    return QString::fromUtf8(props.value("ID_FS_LABEL"));
}

void LinuxDriveSystem::eject(char letter)
{
    const DriveInfo d = drive(letter);
    if (d.kind == DriveKind::Optical) {
        if (!m_platform->udisksUnmountAndEject(d.device.section(QLatin1Char('/'), -1), false))
            m_platform->ioctlEject(d.device);
        return;
    }
    if (d.kind != DriveKind::Folder)
        return;
    // A folder drive ejects only when it is where a removable medium is mounted.
    const QString folder = withoutSlash(QFileInfo(d.folder).canonicalFilePath());
    if (folder.isEmpty())
        return;
    const QList<MountEntry> table = m_platform->mounts();
    for (const MountEntry &m : table) {
        if (withoutSlash(m.mountPoint) != folder || !m.source.startsWith(QLatin1String("/dev/")))
            continue;
        const QString dev = m_platform->canonicalDevice(m.source);
        m_platform->udisksUnmountAndEject(dev.section(QLatin1Char('/'), -1), true);
        return;
    }
}

void LinuxDriveSystem::closeTray(char letter)
{
    const DriveInfo d = drive(letter);
    if (d.kind == DriveKind::Optical)
        m_platform->ioctlCloseTray(d.device);
}

MediaMonitor *LinuxDriveSystem::mediaMonitor()
{
    if (!m_monitor)
        m_monitor = new LinuxMediaMonitor(this);
    return m_monitor;
}

// ---------------------------------------------------------------------------------------------

LinuxMediaMonitor::LinuxMediaMonitor(LinuxDriveSystem *system) : m_system(system)
{
    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &LinuxMediaMonitor::poll);
}

LinuxMediaMonitor::~LinuxMediaMonitor()
{
    stopWatching();
}

void LinuxMediaMonitor::startWatching()
{
    m_pending.clear();
    m_readyFolders.clear();
    const QList<DriveInfo> all = m_system->drives();
    for (const DriveInfo &d : all)
        if (d.kind == DriveKind::Folder && folderDriveReady(d.folder))
            m_readyFolders.insert(d.letter);
    startUdev();
    startMountWatch();
    m_timer->start();
}

void LinuxMediaMonitor::stopWatching()
{
    m_timer->stop();
    delete m_udevNotifier;
    m_udevNotifier = nullptr;
    delete m_mountNotifier;
    m_mountNotifier = nullptr;
    if (m_mountFd >= 0)
        ::close(m_mountFd);
    m_mountFd = -1;
#ifdef AMBRY_HAVE_UDEV
    if (m_udevMonitor)
        udev_monitor_unref(static_cast<udev_monitor *>(m_udevMonitor));
    if (m_udev)
        udev_unref(static_cast<udev *>(m_udev));
#endif
    m_udevMonitor = nullptr;
    m_udev = nullptr;
    m_pending.clear();
}

void LinuxMediaMonitor::startUdev()
{
#ifdef AMBRY_HAVE_UDEV
    udev *u = udev_new();
    if (!u)
        return;
    udev_monitor *mon = udev_monitor_new_from_netlink(u, "udev");
    if (!mon) {
        qCDebug(lcDrives) << "no udev monitor; only folder drives are watched";
        udev_unref(u);
        return;
    }
    udev_monitor_filter_add_match_subsystem_devtype(mon, "block", "disk");
    if (udev_monitor_enable_receiving(mon) < 0) {
        udev_monitor_unref(mon);
        udev_unref(u);
        return;
    }
    m_udev = u;
    m_udevMonitor = mon;
    m_udevNotifier = new QSocketNotifier(udev_monitor_get_fd(mon), QSocketNotifier::Read, this);
    connect(m_udevNotifier, &QSocketNotifier::activated, this, &LinuxMediaMonitor::readUdev);
#endif
}

void LinuxMediaMonitor::readUdev()
{
#ifdef AMBRY_HAVE_UDEV
    auto *mon = static_cast<udev_monitor *>(m_udevMonitor);
    if (!mon)
        return;
    while (udev_device *dev = udev_monitor_receive_device(mon)) {
        const char *action = udev_device_get_action(dev);
        const char *sys = udev_device_get_sysname(dev);
        if (action && sys && qstrcmp(action, "change") == 0) {
            QMap<QByteArray, QByteArray> props;
            for (udev_list_entry *e = udev_device_get_properties_list_entry(dev); e;
                 e = udev_list_entry_get_next(e))
                props.insert(udev_list_entry_get_name(e), udev_list_entry_get_value(e));
            mediaChanged(QString::fromLocal8Bit(sys), props);
        }
        udev_device_unref(dev);
    }
#endif
}

void LinuxMediaMonitor::startMountWatch()
{
    // The kernel flags /proc/self/mountinfo with POLLPRI on every change of the mount table.
    m_mountFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_mountFd < 0)
        return; // the timer still looks every 500 ms
    m_mountNotifier = new QSocketNotifier(m_mountFd, QSocketNotifier::Exception, this);
    connect(m_mountNotifier, &QSocketNotifier::activated, this, [this] {
        // Reading to the end re-arms the notice.
        char buf[4096];
        ::lseek(m_mountFd, 0, SEEK_SET);
        while (::read(m_mountFd, buf, sizeof buf) > 0) {
        }
        if (!m_pending.isEmpty())
            poll();
    });
}

void LinuxMediaMonitor::mediaChanged(const QString &sysname, const QMap<QByteArray, QByteArray> &properties)
{
    if (!isStarted() || properties.value("DISK_MEDIA_CHANGE") != "1")
        return;
    const QList<DriveInfo> all = m_system->drives();
    for (const DriveInfo &d : all) {
        if (d.kind != DriveKind::Optical || d.device.section(QLatin1Char('/'), -1) != sysname)
            continue;
        if (properties.value("ID_CDROM_MEDIA") != "1") {
            m_pending.remove(d.letter); // taken out again
            return;
        }
        if (properties.value("ID_FS_TYPE").isEmpty()) {
            // Nothing to mount (an audio disc): it is there now.
            deliver(d.letter);
            return;
        }
        Pending p;
        p.devnode = d.device;
        p.sysname = sysname;
        p.since = QDateTime::currentMSecsSinceEpoch();
        m_pending.insert(d.letter, p);
        poll();
        return;
    }
}

void LinuxMediaMonitor::poll()
{
    if (!isStarted())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QList<char> letters = m_pending.keys();
    for (char letter : letters) {
        if (!isStarted())
            return; // the receiver of an arrival stopped us
        const auto it = m_pending.find(letter);
        if (it == m_pending.end())
            continue;
        Pending &p = *it;
        if (!m_system->mountPointOf(p.devnode).isEmpty()) {
            deliver(letter);
        } else if (!p.mountAsked && now - p.since >= 3000) {
            // The desktop did not mount it: do it as a file manager would, without blocking.
            p.mountAsked = true;
            QPointer<LinuxMediaMonitor> self(this);
            qCDebug(lcDrives) << "disc in" << p.devnode << "not mounted after 3 s; mounting it";
            m_system->platform()->udisksMountAsync(p.sysname, this, [self, letter](const QString &) {
                // Mounted or not, the disc is in; whoever reads it finds out the rest.
                if (self && self->m_pending.contains(letter))
                    self->deliver(letter);
            });
        } else if (p.mountAsked && now - p.since >= 15000) {
            deliver(letter); // udisks never answered
        }
    }

    if (!isStarted())
        return;
    const QList<DriveInfo> all = m_system->drives();
    QSet<char> readyNow;
    for (const DriveInfo &d : all) {
        if (d.kind != DriveKind::Folder || !folderDriveReady(d.folder))
            continue;
        readyNow.insert(d.letter);
        if (!m_readyFolders.contains(d.letter)) {
            m_readyFolders.insert(d.letter);
            emit mediaArrived(mediaNoticeFor(d.letter));
            if (!isStarted())
                return; // the receiver stopped us
        }
    }
    m_readyFolders = readyNow;
}

void LinuxMediaMonitor::deliver(char letter)
{
    m_pending.remove(letter);
    emit mediaArrived(mediaNoticeFor(letter));
}
