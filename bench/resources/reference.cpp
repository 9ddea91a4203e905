// The yardsticks the resource benchmark measures beside the program, on the same machine in the same run:
//
//   reference scroll   a bare Qt window that moves one label of Japanese text every 20 ms, painted the
//                      ordinary way (what the scrolling caption would cost done plainly)
//   reference poll     a Qt application with no window shown and a timer every 100 ms that does nothing
//                      (the least that the program's 100 ms poll can cost while it sits in the tray)
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const char *mode = argc > 1 ? argv[1] : "";
    QTimer timer;

    QWidget window;
    window.setWindowTitle(QStringLiteral("reference"));
    window.resize(213, 256);
    if (std::strcmp(mode, "scroll") == 0) {
        QPalette green = window.palette();
        green.setColor(QPalette::Window, QColor(0, 64, 0));
        green.setColor(QPalette::WindowText, Qt::yellow);
        window.setPalette(green);
        auto *label = new QLabel(QStringLiteral("インターバルチェック"), &window);
        label->setGeometry(184, 208, 161, 17);
        QObject::connect(&timer, &QTimer::timeout, label, [label] {
            static int left = 2760; // twips, as the program counts
            left = left == -1500 ? 2760 : left - 20;
            label->move(left / 15, label->y());
        });
        timer.start(20);
        window.show();
    } else if (std::strcmp(mode, "poll") == 0) {
        QObject::connect(&timer, &QTimer::timeout, [] {});
        timer.start(100);
    } else {
        std::fputs("usage: reference scroll|poll\n", stderr);
        return 1;
    }
    return application.exec();
}
