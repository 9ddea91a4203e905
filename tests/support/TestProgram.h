#pragma once

#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "MainForm.h"
#include "TestFolder.h"

#include <QLineEdit>
#include <QPushButton>

// The program as main.cpp wires it, in a fresh program folder, over a recording mail library and dial-up layer.
// Its end leaves the event loop that runs and does nothing outside one.
struct TestProgram {
    TestFolder folder;
    QStringList log;
    ProgramState state;
    FakeMailLibrary library{log};
    FakeDialUp dialUp{log};
    Forms forms{state, library, dialUp};
    MainForm &main() { return forms.mainForm(); }
    // vbmail.ini lies in the current directory, "../ini.ini" in the program folder, the rest in the data folder.
    QString path(const QString &n) { return n == u"vbmail.ini" ? QDir::currentPath() + '/' + n : folder.dataFile(n); }
    void write(const QString &name, const QByteArray &bytes) { folder.write(path(name), bytes); }
    QByteArray read(const QString &name) { return folder.read(path(name)); }

    // Started, with a server and an account to check.
    void prepareChecks()
    {
        main().load();
        write("iniIdPass.ini", "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
        state.server.pop3 = "pop.example.test";
    }

    // One check that finds count messages: started by "メ｜ルチェック", or by the ten polls of a due second.
    enum Start { ByButton, Timed };
    void check(int count, Start start = ByButton)
    {
        library.authenticateResult = count;
        main().findChild<QLineEdit *>("Text4")->setText(start == Timed ? "60" : "1");
        main().findChild<QLineEdit *>("Text1")->setText("0");
        main().timer3Tick();
        for (int poll = 0; poll < 10; ++poll)
            main().timer1Tick();
        if (start == ByButton)
            main().findChild<QPushButton *>("Command8")->click();
    }
};
