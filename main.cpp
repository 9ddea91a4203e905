#include "DialUp.h"
#include "Forms.h"
#include "MainForm.h"
#include "NMailLibrary.h"
#include "ServerSettings.h"

#include <QApplication>
#include <QFont>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // The notice window's browser engine is loaded later, from a module, which also sets up the OpenGL
    // sharing it needs then (see PageView): set up here, it would load OpenGL into every start.
    // The browser engine refuses to start as root unless its sandbox is off.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");

    // The windows keep their places and stay on top, which Wayland leaves to the compositor: on a Wayland
    // session with XWayland the program runs through it, unless the user chose a platform. Without X it
    // runs natively.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "wayland" : "xcb");

    const bool hasDisplay = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                            qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (!hasDisplay) {
        std::fputs("poronica: no display found (DISPLAY is not set). Start it on a desktop, or under a virtual "
                   "one: xvfb-run -a ./poronica\n",
                   stderr);
        return 1;
    }

    QApplication application(argc, argv);
    QFont font = QApplication::font();
    font.setFamilies(
        {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(9);
    QApplication::setFont(font);

    ProgramState state;
    NMailLibrary mailLibrary;
    const std::unique_ptr<DialUp> dialUp = createPlatformDialUp();
    Forms forms(state, mailLibrary, *dialUp);
    forms.mainForm().load();
    return application.exec();
}
