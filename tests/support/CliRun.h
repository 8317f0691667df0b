#pragma once

// Running one ambrylog-cli command inside a test, with its standard output and error caught.

#include "util/CliCommand.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace ambrytest {

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
    QStringList lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

// Everything written to a temporary file, as UTF-8 text; closes the file.
inline QString takeText(std::FILE *f)
{
    std::fflush(f);
    std::rewind(f);
    QByteArray bytes;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, qsizetype(n));
    std::fclose(f);
    return QString::fromUtf8(bytes);
}

// call(out, err) gives the exit code; what it writes to the two files is caught.
template <typename Call> CliRun runCapturing(Call call)
{
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    CliRun r;
    r.code = call(out, err);
    r.out = takeText(out);
    r.err = takeText(err);
    return r;
}

// As "ambrylog-cli --catalog CATALOG NAME ARGS" would run it.
inline CliRun runCommand(const CliCommand &command, const QString &catalog, const QStringList &args)
{
    return runCapturing(
        [&](std::FILE *out, std::FILE *err) { return runCliCommand(command, catalog, args, out, err); });
}

} // namespace ambrytest
