#include "DialUp.h"
#include "Forms.h"
#include "MainForm.h"
#include "NMailLibrary.h"
#include "ProgramFont.h"
#include "ServerSettings.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
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
    ProgramFont::apply();

    ProgramState state;
    NMailLibrary mailLibrary;
    const std::unique_ptr<DialUp> dialUp = createPlatformDialUp();
    Forms forms(state, mailLibrary, *dialUp);
    forms.mainForm().load();
    return application.exec();
}
