#pragma once

#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

// A program as main.cpp wires it, with fakes in place of the mail library and the dial-up layer.
struct Program {
    QStringList log;
    ProgramState state;
    FakeMailLibrary library{log};
    FakeDialUp dialUp{log};
    Forms forms{state, library, dialUp};
};

template <class T>
T *control(const QWidget &form, const char *name)
{
    return form.findChild<T *>(QLatin1String(name));
}

// A closed form deletes itself later; this lets that happen now.
inline void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline int topLevelCount(const char *objectName)
{
    settle();
    int count = 0;
    for (const QWidget *widget : QApplication::topLevelWidgets())
        count += widget->objectName() == QLatin1String(objectName) ? 1 : 0;
    return count;
}

// Answers every message box that comes up while it lives, keeping their texts.
class MessageBoxCloser final {
public:
    MessageBoxCloser()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->close();
            }
        });
        m_timer.start();
    }

    QStringList texts;

private:
    QTimer m_timer;
};
