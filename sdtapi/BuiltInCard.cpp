#include "BuiltInCard.h"

#include <QColor>

namespace BuiltInCard {

QStringList fields()
{
    // The region code 990000 belongs to no place, so the number is nobody's.
    return {QStringLiteral("张三"), QStringLiteral("男"), QStringLiteral("汉"), QStringLiteral("19900101"),
        QStringLiteral("示例省示例市和平路1号"), QStringLiteral("99000019900101001X"),
        QStringLiteral("示例市公安局"), QStringLiteral("20200101"), QStringLiteral("20400101")};
}

namespace {

// Inside the ellipse around (cx, cy) with half-axes rx, ry.
bool inEllipse(double x, double y, double cx, double cy, double rx, double ry)
{
    const double dx = (x - cx) / rx;
    const double dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

} // namespace

QImage photo()
{
    // Drawn pixel by pixel: painting needs no fonts or platform plugin this way.
    const int width = 102;
    const int height = 126;
    const QRgb background = qRgb(246, 248, 250);
    const QRgb hair = qRgb(38, 32, 30);
    const QRgb skin = qRgb(236, 200, 170);
    const QRgb shade = qRgb(214, 176, 146);
    const QRgb coat = qRgb(40, 62, 104);
    const QRgb collar = qRgb(250, 250, 250);
    const QRgb eye = qRgb(30, 26, 24);
    const QRgb mouth = qRgb(178, 92, 86);

    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            QRgb colour = background;
            if (inEllipse(px, py, 51, 132, 52, 34))
                colour = coat;
            if (inEllipse(px, py, 51, 100, 13, 10) && py > 96)
                colour = collar;
            if (px > 42 && px < 60 && py > 80 && py < 102)
                colour = shade;
            if (inEllipse(px, py, 51, 44, 29, 33))
                colour = hair;
            if (inEllipse(px, py, 51, 54, 24, 29) && py > 32)
                colour = skin;
            if (inEllipse(px, py, 26, 56, 4, 7) || inEllipse(px, py, 76, 56, 4, 7))
                colour = skin;
            if (inEllipse(px, py, 41, 53, 3.2, 2.2) || inEllipse(px, py, 61, 53, 3.2, 2.2))
                colour = eye;
            if (px > 35 && px < 47 && py > 46 && py < 48.5)
                colour = hair;
            if (px > 55 && px < 67 && py > 46 && py < 48.5)
                colour = hair;
            if (inEllipse(px, py, 51, 63, 2.5, 5) && px > 51)
                colour = shade;
            if (inEllipse(px, py, 51, 72, 7, 2.2))
                colour = mouth;
            line[x] = colour;
        }
    }
    return image;
}

} // namespace BuiltInCard
