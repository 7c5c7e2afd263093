// Saves the X screen, one window of it or a rectangle of it as a PNG file, so
// that the README's pictures can be made under Xvfb without further tools.
// Usage: grabscreen <file.png> [window id | x,y,width,height]

#include <QGuiApplication>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: grabscreen <file.png> [window id | x,y,width,height]\n");
        return 2;
    }
    WId window = 0;
    QRect area(0, 0, -1, -1);
    if (argc > 2) {
        const QString what = QString::fromLocal8Bit(argv[2]);
        const QStringList parts = what.split(QLatin1Char(','));
        if (parts.size() == 4)
            area = QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
        else
            window = WId(what.toULongLong(nullptr, 0));
    }
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(
        window, area.x(), area.y(), area.width(), area.height());
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
