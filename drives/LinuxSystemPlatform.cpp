// The running machine's side of the drive layer: udev, cdrom ioctls, the mount table, udisks2.
#include "LinuxPlatform.h"

#include "util/PosixFile.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifdef AMBRY_HAVE_UDEV
#include <libudev.h>
#endif

namespace {

const QString kUdisks = QStringLiteral("org.freedesktop.UDisks2");
const QString kUdisksRoot = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

// Every ioctl opens the device without blocking: an empty drive must answer at once and
// must not pull its tray in.
UniqueFd openDevice(const QString &devnode)
{
    return UniqueFd(openRetrying(QFile::encodeName(devnode).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

// udisks names its objects after the kernel name, with characters other than letters,
// digits and "_" written as "_XX" in hex.
QString udisksBlockPath(const QString &sysname)
{
    QString out = kUdisksRoot;
    for (const char c : sysname.toLatin1()) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            out += QLatin1Char(c);
        else
            out += QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

QVariantMap noInteraction()
{
    // A wait must never end up behind a password prompt.
    return QVariantMap{{QStringLiteral("auth.no_user_interaction"), true}};
}

QDBusConnection systemBus()
{
    return QDBusConnection::systemBus();
}

QVariant udisksProperty(const QString &path, const QString &iface, const QString &name)
{
    QDBusConnection bus = systemBus();
    if (!bus.isConnected())
        return {};
    QDBusMessage msg = QDBusMessage::createMethodCall(kUdisks, path, kProps, QStringLiteral("Get"));
    msg << iface << name;
    const QDBusMessage reply = bus.call(msg, QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

class SystemPlatform : public LinuxPlatform
{
public:
    QList<OpticalDevice> opticalDevices() override
    {
        QList<OpticalDevice> out;
        static const QRegularExpression srName(QStringLiteral("^sr(\\d+)$"));
#ifdef AMBRY_HAVE_UDEV
        if (udev *u = udev_new()) {
            udev_enumerate *en = udev_enumerate_new(u);
            udev_enumerate_add_match_subsystem(en, "block");
            udev_enumerate_add_match_property(en, "ID_CDROM", "1");
            udev_enumerate_scan_devices(en);
            for (udev_list_entry *e = udev_enumerate_get_list_entry(en); e; e = udev_list_entry_get_next(e)) {
                udev_device *dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(e));
                if (!dev)
                    continue;
                const QString sys = QString::fromLocal8Bit(udev_device_get_sysname(dev));
                const char *node = udev_device_get_devnode(dev);
                const auto m = srName.match(sys);
                if (m.hasMatch()) {
                    OpticalDevice o;
                    o.index = m.captured(1).toInt();
                    o.sysname = sys;
                    o.devnode = node ? QString::fromLocal8Bit(node) : QStringLiteral("/dev/") + sys;
                    out.append(o);
                }
                udev_device_unref(dev);
            }
            udev_enumerate_unref(en);
            udev_unref(u);
        }
        if (!out.isEmpty())
            return out;
#endif
        // No udev (or it knows no drive): the kernel's own list.
        const QStringList names = QDir(QStringLiteral("/sys/class/block"))
                                      .entryList({QStringLiteral("sr*")}, QDir::AllEntries | QDir::System);
        for (const QString &sys : names) {
            const auto m = srName.match(sys);
            if (!m.hasMatch())
                continue;
            OpticalDevice o;
            o.index = m.captured(1).toInt();
            o.sysname = sys;
            o.devnode = QStringLiteral("/dev/") + sys;
            out.append(o);
        }
        return out;
    }

    QMap<QByteArray, QByteArray> udevProperties(const QString &sysname) override
    {
        QMap<QByteArray, QByteArray> props;
#ifdef AMBRY_HAVE_UDEV
        udev *u = udev_new();
        if (!u)
            return props;
        if (udev_device *dev =
                udev_device_new_from_subsystem_sysname(u, "block", sysname.toLocal8Bit().constData())) {
            for (udev_list_entry *e = udev_device_get_properties_list_entry(dev); e;
                 e = udev_list_entry_get_next(e))
                props.insert(udev_list_entry_get_name(e), udev_list_entry_get_value(e));
            udev_device_unref(dev);
        }
        udev_unref(u);
#else
        Q_UNUSED(sysname)
#endif
        return props;
    }

    int driveStatus(const QString &devnode) override
    {
        const UniqueFd f = openDevice(devnode);
        if (!f.isValid())
            return -1;
        const int r = ::ioctl(f.get(), CDROM_DRIVE_STATUS, CDSL_CURRENT);
        return r < 0 ? -1 : r;
    }

    int discStatus(const QString &devnode) override
    {
        const UniqueFd f = openDevice(devnode);
        if (!f.isValid())
            return -1;
        const int r = ::ioctl(f.get(), CDROM_DISC_STATUS, 0);
        return r < 0 ? -1 : r;
    }

    bool hasFileSystemSignature(const QString &devnode) override
    {
        const UniqueFd f = openDevice(devnode);
        if (!f.isValid())
            return false;
        // The volume descriptors start at sector 16 (2048-byte sectors): "CD001" for ISO 9660,
        // "BEA01"/"NSR02"/"NSR03" in the recognition sequence of UDF.
        char buf[2048 * 4];
        const ssize_t n = preadFull(f.get(), buf, sizeof buf, 16 * 2048);
        for (ssize_t off = 0; off + 6 <= n; off += 2048) {
            const QByteArray id(buf + off + 1, 5);
            if (id == "CD001" || id == "BEA01" || id == "NSR02" || id == "NSR03")
                return true;
        }
        return false;
    }

    QList<MountEntry> mounts() override
    {
        return readMountTable();
    }

    QString canonicalDevice(const QString &path) override
    {
        const QString c = QFileInfo(path).canonicalFilePath();
        return c.isEmpty() ? path : c;
    }

    QString udisksMount(const QString &sysname) override
    {
        QDBusConnection bus = systemBus();
        if (!bus.isConnected())
            return {};
        QDBusMessage msg =
            QDBusMessage::createMethodCall(kUdisks, udisksBlockPath(sysname),
                                           kUdisks + QStringLiteral(".Filesystem"), QStringLiteral("Mount"));
        msg << noInteraction();
        const QDBusReply<QString> reply = bus.call(msg, QDBus::Block, 10000);
        if (!reply.isValid())
            qCDebug(lcDrives) << "mounting" << sysname << "failed:" << reply.error().message();
        return reply.isValid() ? reply.value() : QString();
    }

    void udisksMountAsync(const QString &sysname, QObject *context,
                          std::function<void(const QString &)> done) override
    {
        QDBusConnection bus = systemBus();
        if (!bus.isConnected()) {
            QMetaObject::invokeMethod(
                context, [done] { done(QString()); }, Qt::QueuedConnection);
            return;
        }
        QDBusMessage msg =
            QDBusMessage::createMethodCall(kUdisks, udisksBlockPath(sysname),
                                           kUdisks + QStringLiteral(".Filesystem"), QStringLiteral("Mount"));
        msg << noInteraction();
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg, 10000), context);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, done] {
            const QDBusPendingReply<QString> reply = *watcher;
            done(reply.isValid() ? reply.value() : QString());
            watcher->deleteLater();
        });
    }

    bool udisksUnmountAndEject(const QString &sysname, bool removableOnly) override
    {
        QDBusConnection bus = systemBus();
        if (!bus.isConnected() || sysname.isEmpty())
            return false;
        const QString block = udisksBlockPath(sysname);
        const QDBusObjectPath drivePath =
            udisksProperty(block, kUdisks + QStringLiteral(".Block"), QStringLiteral("Drive"))
                .value<QDBusObjectPath>();
        if (drivePath.path().isEmpty() || drivePath.path() == QLatin1String("/"))
            return false;
        if (removableOnly) {
            const QString driveIface = kUdisks + QStringLiteral(".Drive");
            const bool removable =
                udisksProperty(drivePath.path(), driveIface, QStringLiteral("MediaRemovable")).toBool() ||
                udisksProperty(drivePath.path(), driveIface, QStringLiteral("Removable")).toBool();
            if (!removable)
                return false;
        }
        // Eject refuses while a file system is mounted; "not mounted" is fine to ignore.
        QDBusMessage unmount = QDBusMessage::createMethodCall(
            kUdisks, block, kUdisks + QStringLiteral(".Filesystem"), QStringLiteral("Unmount"));
        unmount << noInteraction();
        bus.call(unmount, QDBus::Block, 10000);
        QDBusMessage eject = QDBusMessage::createMethodCall(
            kUdisks, drivePath.path(), kUdisks + QStringLiteral(".Drive"), QStringLiteral("Eject"));
        eject << noInteraction();
        const QDBusMessage answer = bus.call(eject, QDBus::Block, 10000);
        if (answer.type() != QDBusMessage::ReplyMessage)
            qCDebug(lcDrives) << "ejecting" << sysname << "failed:" << answer.errorMessage();
        return answer.type() == QDBusMessage::ReplyMessage;
    }

    bool ioctlEject(const QString &devnode) override
    {
        const UniqueFd f = openDevice(devnode);
        return f.isValid() && ::ioctl(f.get(), CDROMEJECT, 0) == 0;
    }

    bool ioctlCloseTray(const QString &devnode) override
    {
        const UniqueFd f = openDevice(devnode);
        return f.isValid() && ::ioctl(f.get(), CDROMCLOSETRAY, 0) == 0;
    }
};

} // namespace

LinuxPlatform *systemLinuxPlatform()
{
    static SystemPlatform platform;
    return &platform;
}
