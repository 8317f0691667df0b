#include "DiscImages.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace ambrytest {

QString runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return program + QStringLiteral(" did not finish");
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll()).trimmed();
    return {};
}

QString cannotMakeImages()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty())
        return QStringLiteral("xorriso is not installed; disc images cannot be made");
    return {};
}

QString makeImage(const std::string &source, const QString &image, const QStringList &how)
{
    QStringList args = how;
    const QString src = QFile::decodeName(QByteArray::fromStdString(source));
    if (how.value(0) == QLatin1String("-as"))
        args << QStringLiteral("-o") << image << src;
    else
        args << QStringLiteral("-outdev") << image << QStringLiteral("-map") << src << QStringLiteral("/");
    return runTool(QStringLiteral("xorriso"), args);
}

const QStringList &rockRidge()
{
    static const QStringList how = {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-R")};
    return how;
}

QString imageOf(const std::string &source, const QStringList &how)
{
    const QString image = ambrytest::makeTempDir(QStringLiteral("images")) + QStringLiteral("/disc.iso");
    const QString made = makeImage(source, image, how);
    if (made.isEmpty())
        return image;
    ADD_FAILURE() << made.toStdString();
    return {};
}

FuseMount::~FuseMount()
{
    if (!m_point.isEmpty())
        runTool(QStringLiteral("fusermount"), {QStringLiteral("-u"), m_point});
}

QString FuseMount::mount(const QString &image)
{
    for (const char *tool : {"fuseiso", "fusermount"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QString::fromLatin1(tool) +
                   QStringLiteral(" is not installed; the image cannot be mounted");
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
        return QStringLiteral(
            "/dev/fuse is missing: FUSE is not available here, so the image cannot be mounted");
    const QString point = ambrytest::makeTempDir(QStringLiteral("mnt"));
    const QString mounted = runTool(QStringLiteral("fuseiso"), {image, point});
    if (!mounted.isEmpty())
        return QStringLiteral("FUSE is not usable here (%1); the image cannot be mounted").arg(mounted);
    m_point = QFileInfo(point).canonicalFilePath() + QLatin1Char('/');
    if (QDir(m_point)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
            .isEmpty())
        return QStringLiteral("the FUSE mount shows nothing; FUSE is not usable here");
    return {};
}

} // namespace ambrytest
