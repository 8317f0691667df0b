// Build-time tool: renders the program's SVG icon as PNG files of the sizes the icon theme
// wants, so the package carries bitmaps for desktops and panels that do not draw SVG.
// usage: ambry-render-icon SVG OUTDIR SIZE...   (writes OUTDIR/SIZExSIZE.png)
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    // Rendering needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fputs("usage: ambry-render-icon SVG OUTDIR SIZE...\n", stderr);
        return 64;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "ambry-render-icon: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString outDir = args.at(2);
    QDir().mkpath(outDir);
    for (const QString &sizeArg : args.mid(3)) {
        bool ok = false;
        const int size = sizeArg.toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "ambry-render-icon: not a size: %s\n", qPrintable(sizeArg));
            return 64;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        svg.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString path = QStringLiteral("%1/%2x%2.png").arg(outDir).arg(size);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "ambry-render-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
