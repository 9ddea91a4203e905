#pragma once

#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "MainForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

// The whole program in a test: the real forms over a recording mail library and dial-up layer. Ending
// the program is recorded instead of leaving the test's event loop.
struct TestProgram {
    QStringList log;
    ProgramState state;
    FakeMailLibrary library{log};
    FakeDialUp dialUp{log};
    Forms forms{state, library, dialUp};
    int ended = 0;

    TestProgram()
    {
        forms.setEndProgram([this] { ++ended; });
    }

    MainForm &main() { return forms.mainForm(); }
    void start() { main().load(); }

    template <class T>
    T *control(const char *name)
    {
        return main().findChild<T *>(QLatin1String(name));
    }
};

// Answers the next message box that opens (modal or not) with the given button, from the event loop.
inline void answerNextMessageBox(QMessageBox::StandardButton button, QString *text = nullptr)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, text] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (box && box->isVisible()) {
                if (text)
                    *text = box->text();
                poll->deleteLater();
                box->button(button)->click();
                return;
            }
        }
    });
    poll->start(10);
}
