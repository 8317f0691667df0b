#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>

#include "MountTable.h"

Q_DECLARE_LOGGING_CATEGORY(lcDrives)

// The Linux services the drive layer asks: udev, the cdrom ioctls, the mount table and udisks2.
// LinuxDriveSystem decides from these answers; tests hand it a platform with made-up answers.

struct OpticalDevice
{
    int index = -1;  // N of srN
    QString sysname; // "sr0"
    QString devnode; // "/dev/sr0"
};

// Answers of the cdrom ioctls (values of <linux/cdrom.h>), -1 when the device cannot be asked.
namespace cdrom {
constexpr int NoInfo = 0, NoDisc = 1, TrayOpen = 2, DriveNotReady = 3, DiscOk = 4;
constexpr int Audio = 100, Data1 = 101, Data2 = 102, Xa21 = 103, Xa22 = 104, Mixed = 105;
} // namespace cdrom

class LinuxPlatform
{
public:
    virtual ~LinuxPlatform() = default;

    // Optical drives: udev block disks with ID_CDROM=1, else /sys/class/block/sr*.
    virtual QList<OpticalDevice> opticalDevices() = 0;
    // udev properties of a block device (empty without udev).
    virtual QMap<QByteArray, QByteArray> udevProperties(const QString &sysname) = 0;
    virtual int driveStatus(const QString &devnode) = 0; // CDROM_DRIVE_STATUS
    virtual int discStatus(const QString &devnode) = 0;  // CDROM_DISC_STATUS
    // Looks for an ISO 9660 or UDF volume descriptor on the medium (used when udev cannot tell).
    virtual bool hasFileSystemSignature(const QString &devnode) = 0;
    virtual QList<MountEntry> mounts() = 0;
    // The real path of a device node or mount source ("/dev/cdrom" -> "/dev/sr0").
    virtual QString canonicalDevice(const QString &path) = 0;

    // udisks2 over the system bus; every call gives up quietly when there is none.
    // Mounts the file system of the block device; the mount point, or empty.
    virtual QString udisksMount(const QString &sysname) = 0;
    virtual void udisksMountAsync(const QString &sysname, QObject *context,
                                  std::function<void(const QString &mountPoint)> done) = 0;
    // Unmounts the block device's file systems and ejects its drive. With removableOnly, only
    // when udisks says the drive's medium is removable. True when the eject went through.
    virtual bool udisksUnmountAndEject(const QString &sysname, bool removableOnly) = 0;

    virtual bool ioctlEject(const QString &devnode) = 0;
    virtual bool ioctlCloseTray(const QString &devnode) = 0;
};

// The platform of the running machine.
LinuxPlatform *systemLinuxPlatform();
