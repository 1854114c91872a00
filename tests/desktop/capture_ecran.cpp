// Saves a picture of one X window (by id), or of the whole screen, as PNG: capture_ecran file [id]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: capture_ecran file.png [window id]\n");
        return 2;
    }
    const WId fenetre = argc > 2 ? WId(QByteArray(argv[2]).toULongLong()) : 0;
    return QGuiApplication::primaryScreen()->grabWindow(fenetre).save(
               QString::fromLocal8Bit(argv[1]))
               ? 0
               : 1;
}
