// Draws every picture of the program's resource collection with QPainter, so
// that none has to come from elsewhere:
//   image/bk_new.bmp   window background (1024 x 700, the largest window size)
//   image/Sorvath.png  toolbar icon of the ID card page
//   image/caiji.jpg    toolbar icon of the face collection page
//   image/one.jpg      placeholder of the face collection page's pictures
//   Tolvane.ico        program and tray icon, 16 to 256 pixels
// Usage: draw_resources <Resources folder>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVector>
#include <QtEndian>

#include <cstdio>

namespace {

const QColor navyTop(9, 36, 70);
const QColor navyBottom(18, 78, 138);
const QColor accent(63, 193, 232);

QImage transparentImage(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage background()
{
    const int w = 1024;
    const int h = 700;
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient base(0, 0, w * 0.35, h);
    base.setColorAt(0, navyTop);
    base.setColorAt(1, navyBottom);
    p.fillRect(image.rect(), base);

    // A soft light from the upper right, where the window's page is empty.
    QRadialGradient glow(w * 0.82, h * 0.12, w * 0.55);
    glow.setColorAt(0, QColor(90, 170, 235, 80));
    glow.setColorAt(1, QColor(90, 170, 235, 0));
    p.fillRect(image.rect(), glow);

    // Large faint rings, drawn thin so that labels stay readable over them.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 18 - i * 3), 1.5));
        const qreal r = 260 + i * 70;
        p.drawEllipse(QPointF(w * 0.93, h * 1.02), r, r);
    }

    // A dot grid in the lower right corner.
    p.setPen(Qt::NoPen);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 14; ++x) {
            const int alpha = 10 + (x + y) * 2;
            p.setBrush(QColor(255, 255, 255, qMin(alpha, 48)));
            p.drawEllipse(QPointF(w - 40 - x * 18, h - 40 - y * 18), 1.6, 1.6);
        }
    }

    // A thin accent line under the toolbar.
    QLinearGradient line(0, 0, w, 0);
    line.setColorAt(0, QColor(accent.red(), accent.green(), accent.blue(), 0));
    line.setColorAt(0.3, QColor(accent.red(), accent.green(), accent.blue(), 110));
    line.setColorAt(1, QColor(accent.red(), accent.green(), accent.blue(), 0));
    p.fillRect(QRectF(0, 96, w, 1.5), line);
    return image;
}

// The rounded tile that both toolbar icons stand on.
void drawTile(QPainter &p, const QRectF &r, const QColor &from, const QColor &to)
{
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, r.width() * 0.2, r.width() * 0.2);
    // A gentle highlight on the upper half.
    QLinearGradient shine(r.topLeft(), QPointF(r.left(), r.center().y()));
    shine.setColorAt(0, QColor(255, 255, 255, 60));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawRoundedRect(r, r.width() * 0.2, r.width() * 0.2);
}

// Head and shoulders inside the given box.
void drawPerson(QPainter &p, const QRectF &box, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const qreal headR = box.width() * 0.22;
    const QPointF head(box.center().x(), box.top() + box.height() * 0.36);
    p.drawEllipse(head, headR, headR);
    QPainterPath body;
    const qreal shoulderTop = box.top() + box.height() * 0.64;
    body.moveTo(box.left() + box.width() * 0.1, box.bottom());
    body.cubicTo(box.left() + box.width() * 0.1, shoulderTop, box.right() - box.width() * 0.1, shoulderTop,
        box.right() - box.width() * 0.1, box.bottom());
    body.closeSubpath();
    p.drawPath(body);
}

// A resident card: white card, photo field with a person, text lines.
void drawCard(QPainter &p, const QRectF &card, const QColor &ink, bool withLines)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawRoundedRect(card.translated(0, card.height() * 0.05), card.height() * 0.12, card.height() * 0.12);
    p.setBrush(Qt::white);
    p.drawRoundedRect(card, card.height() * 0.12, card.height() * 0.12);

    const qreal pad = card.height() * 0.16;
    const QRectF photo(card.left() + pad, card.top() + pad, card.height() - 2 * pad, card.height() - 2 * pad);
    p.setBrush(QColor(ink.red(), ink.green(), ink.blue(), 40));
    p.drawRoundedRect(photo, photo.width() * 0.12, photo.width() * 0.12);
    p.save();
    p.setClipRect(photo);
    drawPerson(p, photo.adjusted(0, photo.height() * 0.08, 0, 0), ink);
    p.restore();

    if (!withLines)
        return;
    p.setBrush(QColor(ink.red(), ink.green(), ink.blue(), 170));
    const qreal x = photo.right() + pad * 0.8;
    const qreal lineH = card.height() * 0.09;
    const qreal widths[] = {0.9, 0.65, 0.8};
    for (int i = 0; i < 3; ++i) {
        const qreal y = photo.top() + photo.height() * (0.12 + i * 0.3);
        const qreal full = card.right() - pad - x;
        p.drawRoundedRect(QRectF(x, y, full * widths[i], lineH), lineH / 2, lineH / 2);
    }
}

QImage cardIcon()
{
    const int s = 128;
    QImage image = transparentImage(s, s);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawTile(p, QRectF(4, 4, s - 8, s - 8), QColor(58, 176, 236), QColor(20, 92, 190));
    p.translate(s / 2.0, s / 2.0);
    p.rotate(-8);
    drawCard(p, QRectF(-46, -29, 92, 58), QColor(20, 92, 190), true);
    return image;
}

// Corner brackets of a camera frame.
void drawBrackets(QPainter &p, const QRectF &r, qreal arm, qreal width)
{
    QPen pen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QPointF corners[] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
    const QPointF dirs[][2] = {{{1, 0}, {0, 1}}, {{-1, 0}, {0, 1}}, {{-1, 0}, {0, -1}}, {{1, 0}, {0, -1}}};
    for (int i = 0; i < 4; ++i) {
        QPainterPath path;
        path.moveTo(corners[i] + dirs[i][0] * arm);
        path.lineTo(corners[i]);
        path.lineTo(corners[i] + dirs[i][1] * arm);
        p.drawPath(path);
    }
}

QImage faceIcon()
{
    const int s = 128;
    // JPEG has no transparency: the corners take the toolbar's background.
    QImage image(s, s, QImage::Format_RGB32);
    image.fill(navyTop);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawTile(p, QRectF(4, 4, s - 8, s - 8), QColor(64, 214, 170), QColor(14, 132, 140));
    drawBrackets(p, QRectF(26, 26, s - 52, s - 52), 18, 7);
    // Face outline with eyes and a smile.
    p.setPen(QPen(Qt::white, 5.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(44, 38, 40, 50));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(56, 58), 3.5, 3.5);
    p.drawEllipse(QPointF(72, 58), 3.5, 3.5);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(54, 62, 20, 14), 200 * 16, 140 * 16);
    // The scan line.
    p.setPen(QPen(QColor(255, 255, 255, 200), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(30, 100), QPointF(98, 100));
    return image;
}

QImage placeholder()
{
    const int w = 480;
    const int h = 360;
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(238, 242, 247));
    g.setColorAt(1, QColor(215, 223, 233));
    p.fillRect(image.rect(), g);
    QPen frame(QColor(160, 174, 192), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(frame);
    p.setBrush(Qt::NoBrush);
    const QRectF r(w * 0.28, h * 0.14, w * 0.44, h * 0.72);
    const qreal arm = 36;
    const QPointF corners[] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
    const QPointF dirs[][2] = {{{1, 0}, {0, 1}}, {{-1, 0}, {0, 1}}, {{-1, 0}, {0, -1}}, {{1, 0}, {0, -1}}};
    for (int i = 0; i < 4; ++i) {
        QPainterPath path;
        path.moveTo(corners[i] + dirs[i][0] * arm);
        path.lineTo(corners[i]);
        path.lineTo(corners[i] + dirs[i][1] * arm);
        p.drawPath(path);
    }
    p.save();
    p.setClipRect(r.adjusted(8, 8, -8, -3));
    drawPerson(
        p, r.adjusted(r.width() * 0.12, r.height() * 0.12, -r.width() * 0.12, 0), QColor(176, 189, 205));
    p.restore();
    return image;
}

QImage programIcon(int s)
{
    QImage image = transparentImage(s, s);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = s <= 24 ? 0 : s * 0.04;
    const QRectF tile(m, m, s - 2 * m, s - 2 * m);
    QLinearGradient g(tile.topLeft(), tile.bottomRight());
    g.setColorAt(0, QColor(48, 160, 230));
    g.setColorAt(1, QColor(14, 62, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(tile, s * 0.22, s * 0.22);
    // Small sizes show only the card with its photo; the text lines would blur.
    const QRectF card(s * 0.12, s * 0.24, s * 0.76, s * 0.52);
    drawCard(p, card, QColor(14, 62, 140), s >= 32);
    if (s >= 48) {
        // The face mark: the program also collects face photographs.
        const qreal r = s * 0.15;
        const QPointF c(s * 0.78, s * 0.76);
        p.setPen(QPen(Qt::white, s * 0.03));
        p.setBrush(QColor(64, 214, 170));
        p.drawEllipse(c, r, r);
        p.setPen(Qt::NoPen);
        drawPerson(p, QRectF(c.x() - r * 0.7, c.y() - r * 0.75, r * 1.4, r * 1.45), Qt::white);
    }
    return image;
}

// One icon directory entry as a 32-bit DIB with its AND mask, the form every
// reader of .ico files understands.
QByteArray dibEntry(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    QByteArray data;
    auto put32 = [&data](quint32 v) {
        const quint32 le = qToLittleEndian(v);
        data.append(reinterpret_cast<const char *>(&le), 4);
    };
    auto put16 = [&data](quint16 v) {
        const quint16 le = qToLittleEndian(v);
        data.append(reinterpret_cast<const char *>(&le), 2);
    };
    const int maskStride = ((w + 31) / 32) * 4;
    put32(40);
    put32(quint32(w));
    put32(quint32(2 * h)); // colour rows and mask rows
    put16(1);
    put16(32);
    put32(0);
    put32(quint32(w * h * 4 + maskStride * h));
    put32(0);
    put32(0);
    put32(0);
    put32(0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            data.append(char(qBlue(line[x])));
            data.append(char(qGreen(line[x])));
            data.append(char(qRed(line[x])));
            data.append(char(qAlpha(line[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        data.append(row);
    }
    return data;
}

QByteArray pngEntry(const QImage &image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

bool writeIco(const QString &path, const QVector<int> &sizes)
{
    QVector<QByteArray> entries;
    for (int s : sizes) {
        const QImage image = programIcon(s);
        // 256 pixels as PNG keeps the file small; Windows and Qt read both forms.
        entries.append(s >= 256 ? pngEntry(image) : dibEntry(image));
    }
    QByteArray file;
    auto put16 = [&file](quint16 v) {
        const quint16 le = qToLittleEndian(v);
        file.append(reinterpret_cast<const char *>(&le), 2);
    };
    auto put32 = [&file](quint32 v) {
        const quint32 le = qToLittleEndian(v);
        file.append(reinterpret_cast<const char *>(&le), 4);
    };
    put16(0);
    put16(1);
    put16(quint16(sizes.size()));
    quint32 offset = quint32(6 + 16 * sizes.size());
    for (int i = 0; i < sizes.size(); ++i) {
        const int s = sizes[i];
        file.append(char(s >= 256 ? 0 : s));
        file.append(char(s >= 256 ? 0 : s));
        file.append('\0');
        file.append('\0');
        put16(1);
        put16(32);
        put32(quint32(entries[i].size()));
        put32(offset);
        offset += quint32(entries[i].size());
    }
    for (const QByteArray &entry : entries)
        file.append(entry);
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
}

bool save(const QImage &image, const QString &path, const char *format, int quality = -1)
{
    if (image.save(path, format, quality))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_resources <Resources folder>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(dir.filePath(QStringLiteral("image")));
    bool ok = true;
    ok &= save(background(), dir.filePath(QStringLiteral("image/bk_new.bmp")), "BMP");
    ok &= save(cardIcon(), dir.filePath(QStringLiteral("image/Sorvath.png")), "PNG");
    ok &= save(faceIcon(), dir.filePath(QStringLiteral("image/caiji.jpg")), "JPG", 95);
    ok &= save(placeholder(), dir.filePath(QStringLiteral("image/one.jpg")), "JPG", 92);
    ok &= writeIco(dir.filePath(QStringLiteral("Tolvane.ico")), {16, 24, 32, 48, 64, 128, 256});
    return ok ? 0 : 1;
}
