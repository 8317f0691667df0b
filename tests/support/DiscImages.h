#pragma once

#include <QString>
#include <QStringList>

#include <string>

// Disc images for the tests: made with xorriso from a folder tree, mounted through FUSE with
// fuseiso (what the kernel's driver would show, without privileges).
namespace ambrytest {

// Runs a program; empty text when it succeeded, else what went wrong.
QString runTool(const QString &program, const QStringList &args);
// Why images cannot be made (xorriso missing), or empty.
QString cannotMakeImages();
// xorriso's mkisofs emulation with Rock Ridge names.
const QStringList &rockRidge();
// An image of the tree at source, made with these arguments (as makeImage takes them) in a new
// folder below the sandbox: its path. Empty, and the test failed, when xorriso failed.
QString imageOf(const std::string &source, const QStringList &how = rockRidge());
// Makes image from the tree at source with these xorriso arguments before the output
// ("-as mkisofs -R -J" and the like, or native commands when they start with "-outdev").
// Empty text when it worked.
QString makeImage(const std::string &source, const QString &image, const QStringList &how);

// A FUSE mount of an image, taken away again with the object.
class FuseMount
{
public:
    ~FuseMount();
    // Empty text when mounted at a new folder below the sandbox; else why not, for a skip.
    QString mount(const QString &image);
    // The mount point, canonical, ending in "/".
    const QString &point() const { return m_point; }

private:
    QString m_point;
};

} // namespace ambrytest
