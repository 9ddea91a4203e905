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
    // The main window repaints a few small areas many times a second. Through X shared memory, painting
    // over an area that was just sent waits for a round trip to the X server first; sent over the
    // connection instead, these few kilobytes cost less.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

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
