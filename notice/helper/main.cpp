// poronica-notice: the notice window with its page, in a process of its own so that the browser engine
// leaves with the window. The program starts it with its program folder and writes to it a line at a
// time (see NoticeHelper); for every count it has shown it answers "shown" on its output, so that the
// program knows which counts the user has seen. It ends when the user closes the window, or when its
// input ends because the program has gone.
//
//   poronica-notice [program folder]

#include "NoticeHelper.h"
#include "ProgramFont.h"
#include "ProgramPaths.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

int main(int argc, char *argv[])
{
    NoticeHelper::prepareProcess();
    // Its windows carry the program's window class, so that the desktop counts them as the program's.
    QApplication::setApplicationName(QStringLiteral("poronica"));
    QApplication application(argc, argv);
    ProgramFont::apply();
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1)
        ProgramPaths::setFolder(arguments.at(1));

    NoticeHelper helper;
    QObject::connect(&helper, &NoticeHelper::closed, &application, &QApplication::quit);
    QObject::connect(&helper, &NoticeHelper::countShown, [] {
        const char shown[] = "shown\n";
        if (write(STDOUT_FILENO, shown, sizeof shown - 1) < 0)
            QApplication::quit(); // the program has gone
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&helper] {
        char buffer[256];
        const ssize_t length = read(STDIN_FILENO, buffer, sizeof buffer);
        if (length > 0)
            helper.receive(QByteArray(buffer, length));
        else if (length == 0 || (errno != EINTR && errno != EAGAIN))
            QApplication::quit();
    });
    return QApplication::exec();
}
