#pragma once

#include "ServerSettings.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <tuple>

class DialUp;
class IdPassForm;
class MailLibrary;
class MainForm;
class OptionForm;
class SetForm;
class ShinMsgProxy;

// One default instance per form: asking for a form creates it and runs its load handler; closing it
// unloads it (the form deletes itself), and asking again loads it afresh from the settings files.
// Also holds what the forms share: the program-wide values, the mail library and the dial-up layer.
class Forms final : public QObject {
    Q_OBJECT

public:
    Forms(ProgramState &state, MailLibrary &mailLibrary, DialUp &dialUp, QObject *parent = nullptr);
    ~Forms() override;

    MainForm &mainForm(); // created here, loaded by the caller: its load handler is the program's start
    SetForm &setForm();
    IdPassForm &idPassForm();
    OptionForm &optionForm();    // its load handler shows it
    ShinMsgProxy &shinMsgForm(); // likewise

    // Whether the form of that class is loaded, as in isLoaded<OptionForm>().
    template <class T>
    bool isLoaded() const
    {
        return !std::get<QPointer<T>>(m_loaded).isNull();
    }

    ProgramState &state() { return m_state; }
    MailLibrary &mailLibrary() { return m_mailLibrary; }
    DialUp &dialUp() { return m_dialUp; }

    // Ends the program: every other window goes away without its unload handler, then endProgram runs.
    void endProgram();
    void setEndProgram(std::function<void()> end) { m_endProgram = std::move(end); }

private:
    // The form of class T, made by create and loaded when there is none.
    template <class T, class Create>
    T &loaded(Create create);
    template <class T>
    QPointer<T> &slot()
    {
        return std::get<QPointer<T>>(m_loaded);
    }

    ProgramState &m_state;
    MailLibrary &m_mailLibrary;
    DialUp &m_dialUp;
    std::function<void()> m_endProgram;
    std::tuple<QPointer<MainForm>, QPointer<SetForm>, QPointer<IdPassForm>, QPointer<OptionForm>,
               QPointer<ShinMsgProxy>>
        m_loaded;
};
