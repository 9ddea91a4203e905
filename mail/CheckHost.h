#pragma once

#include "ServerSettings.h"

#include <QString>

#include <functional>

// What a mail check reads and touches outside the mail library: the main window, the account dialog,
// the notice window, the check settings, the hang-up, and the thread that waits on the network. The main
// window's check controller provides it; tests fake it.
class CheckHost {
public:
    virtual ~CheckHost() = default;

    virtual const ServerSettings &serverSettings() const = 0;
    // Puts the account read from the file into the account dialog's boxes and the program-wide account.
    virtual void setAccount(const QString &id, const QString &password) = 0;
    virtual void showAccountDialog() = 0;
    // A modal box titled "エラー" with the library's error text and an OK button.
    virtual void showLoginError(const QString &text) = 0;
    virtual bool startsMailProgram() const = 0;  // Check2 of the main window
    virtual QString mailProgramPath() const = 0; // Text7 of the main window
    virtual void startMailProgram(const QString &path) = 0;
    virtual void showNewMail(int count) = 0;
    virtual int hangUpChoice() const = 0; // Check1 of the check settings dialog
    // Lists the dial-up connections and hangs them up, off the window's thread.
    virtual void hangUp() = 0;
    // Runs work, which waits on the network, off the window's thread, and returns once it is done; the
    // windows go on meanwhile. False, with the work not run or cut short, when the program is ending: the
    // check then stops where it is.
    virtual bool offThread(const std::function<void()> &work) = 0;
};
