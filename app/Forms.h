#pragma once

#include "ServerSettings.h"

#include <QObject>
#include <QPointer>

#include <functional>

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

    bool isMainFormLoaded() const;
    bool isSetFormLoaded() const;
    bool isIdPassFormLoaded() const;
    bool isOptionFormLoaded() const;
    bool isShinMsgFormLoaded() const;

    ProgramState &state() { return m_state; }
    MailLibrary &mailLibrary() { return m_mailLibrary; }
    DialUp &dialUp() { return m_dialUp; }

    // Ends the program: every other window goes away without its unload handler, then endProgram runs.
    void endProgram();
    void setEndProgram(std::function<void()> end) { m_endProgram = std::move(end); }

private:
    ProgramState &m_state;
    MailLibrary &m_mailLibrary;
    DialUp &m_dialUp;
    std::function<void()> m_endProgram;
    QPointer<MainForm> m_mainForm;
    QPointer<SetForm> m_setForm;
    QPointer<IdPassForm> m_idPassForm;
    QPointer<OptionForm> m_optionForm;
    QPointer<ShinMsgProxy> m_shinMsgForm;
};
