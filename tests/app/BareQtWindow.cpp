#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

// The yardstick of the start-up benchmark: a bare Qt widget window of Tessel's size.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1000, 640);
    window.show();
    QTimer::singleShot(0, [] {
        std::printf("shown\n");
        std::fflush(stdout);
    });
    return app.exec();
}
