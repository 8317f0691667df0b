#include "helper_fakeplatform.h"

#include <QMetaObject>

const FakePlatform::Device *FakePlatform::byNode(const QString &devnode) const
{
    const auto it = devices.constFind(devnode.section(QLatin1Char('/'), -1));
    return it == devices.cend() ? nullptr : &*it;
}

QList<OpticalDevice> FakePlatform::opticalDevices()
{
    QList<OpticalDevice> out;
    for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
        OpticalDevice o;
        o.sysname = it.key();
        o.index = it.key().mid(2).toInt();
        o.devnode = QStringLiteral("/dev/") + it.key();
        out.append(o);
    }
    return out;
}

QMap<QByteArray, QByteArray> FakePlatform::udevProperties(const QString &sysname)
{
    return devices.value(sysname).udev;
}

int FakePlatform::driveStatus(const QString &devnode)
{
    const Device *d = byNode(devnode);
    return d ? d->driveStatus : -1;
}

int FakePlatform::discStatus(const QString &devnode)
{
    const Device *d = byNode(devnode);
    return d ? d->discStatus : -1;
}

bool FakePlatform::hasFileSystemSignature(const QString &devnode)
{
    const Device *d = byNode(devnode);
    return d && d->signature;
}

QString FakePlatform::udisksMount(const QString &sysname)
{
    calls.append(QStringLiteral("mount ") + sysname);
    if (!mountAnswer.isEmpty())
        mount(QStringLiteral("/dev/") + sysname, mountAnswer);
    return mountAnswer;
}

void FakePlatform::udisksMountAsync(const QString &sysname, QObject *context,
                                    std::function<void(const QString &)> done)
{
    calls.append(QStringLiteral("mount-async ") + sysname);
    const QString answer = mountAnswer;
    if (!answer.isEmpty())
        mount(QStringLiteral("/dev/") + sysname, answer);
    QMetaObject::invokeMethod(
        context, [done, answer] { done(answer); }, Qt::QueuedConnection);
}

bool FakePlatform::udisksUnmountAndEject(const QString &sysname, bool removableOnly)
{
    calls.append((removableOnly ? QStringLiteral("eject-removable ") : QStringLiteral("eject ")) + sysname);
    return udisksEjectWorks;
}

bool FakePlatform::ioctlEject(const QString &devnode)
{
    calls.append(QStringLiteral("ioctl-eject ") + devnode);
    return true;
}

bool FakePlatform::ioctlCloseTray(const QString &devnode)
{
    calls.append(QStringLiteral("ioctl-close ") + devnode);
    return true;
}
