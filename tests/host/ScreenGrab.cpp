// screen_grab FILE.png: saves what the X server's screen shows (the root
// window), with Qt's own grab, for the desktop test's pictures.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: screen_grab FILE.png\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "screen_grab: cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
