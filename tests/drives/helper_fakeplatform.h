#pragma once

#include <QMap>
#include <QStringList>

#include "drives/LinuxPlatform.h"

// Made-up answers for the Linux drive logic: drives, ioctl answers, udev properties, mounts,
// and a record of what was asked of udisks and the ioctls.
class FakePlatform : public LinuxPlatform
{
public:
    struct Device
    {
        int driveStatus = cdrom::NoDisc;
        int discStatus = -1;
        bool signature = false;
        QMap<QByteArray, QByteArray> udev;
    };

    void addDrive(int index) { devices[QStringLiteral("sr%1").arg(index)] = Device(); }
    Device &dev(int index) { return devices[QStringLiteral("sr%1").arg(index)]; }
    void mount(const QString &source, const QString &point, const QString &fs = QStringLiteral("iso9660"))
    {
        table.append({point, fs, source});
    }

    QMap<QString, Device> devices; // by sysname
    QList<MountEntry> table;
    QMap<QString, QString> canonical; // links such as /dev/cdrom -> /dev/sr0
    QString mountAnswer;              // what udisks Mount answers (empty: failure)
    bool udisksEjectWorks = true;
    QStringList calls; // "mount sr0", "mount-async sr0", "eject sr0", "eject-removable sdb1", "ioctl-eject
                       // /dev/sr0", ...

    QList<OpticalDevice> opticalDevices() override;
    QMap<QByteArray, QByteArray> udevProperties(const QString &sysname) override;
    int driveStatus(const QString &devnode) override;
    int discStatus(const QString &devnode) override;
    bool hasFileSystemSignature(const QString &devnode) override;
    QList<MountEntry> mounts() override { return table; }
    QString canonicalDevice(const QString &path) override { return canonical.value(path, path); }
    QString udisksMount(const QString &sysname) override;
    void udisksMountAsync(const QString &sysname, QObject *context,
                          std::function<void(const QString &)> done) override;
    bool udisksUnmountAndEject(const QString &sysname, bool removableOnly) override;
    bool ioctlEject(const QString &devnode) override;
    bool ioctlCloseTray(const QString &devnode) override;

private:
    const Device *byNode(const QString &devnode) const;
};
