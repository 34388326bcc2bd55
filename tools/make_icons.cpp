// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the program's icon theme images: the 16 and 32 pixel sizes drawn pixel
// by pixel, the others rendered from the scalable drawing.
//   make_icons SCALABLE.svg OUTPUT_DIR NAME
// writes OUTPUT_DIR/<N>x<N>/apps/NAME.png for every size.

#include "platform/app_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_icons SCALABLE.svg OUTPUT_DIR NAME\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QSvgRenderer scalable(QString::fromLocal8Bit(argv[1]));
    if (!scalable.isValid()) {
        std::fprintf(stderr, "make_icons: cannot read %s\n", argv[1]);
        return 1;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image = zelmoro::platform::drawIcon(size);
        if (image.isNull()) {
            image = QImage(size, size, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            scalable.render(&painter);
        }
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QString file = folder + QLatin1Char('/') + QString::fromLocal8Bit(argv[3]) + ".png";
        if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
