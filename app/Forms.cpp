#include "Forms.h"

#include "IdPassForm.h"
#include "MainForm.h"
#include "OptionForm.h"
#include "SetForm.h"
#include "ShinMsgProxy.h"

#include <QGuiApplication>

// The pictures built into the program live in a static library; nothing else would pull them in.
static void initialisePictures()
{
    Q_INIT_RESOURCE(poronica_pictures);
}

namespace {

// Forgets the form the moment it unloads, not only when it is finally deleted, so that a touch right
// after the close already loads a new one.
template <class T>
void forgetOnUnload(QPointer<T> &slot, T *form)
{
    QObject::connect(form, &T::unloaded, form, [&slot, form] {
        if (slot == form)
            slot.clear();
    });
}

template <class T>
void discard(QPointer<T> &slot)
{
    delete slot.data(); // without closing: no unload handler runs
    slot.clear();
}

template <class T>
void hideWithoutUnload(const QPointer<T> &slot)
{
    if (slot)
        slot->hide();
}

} // namespace

Forms::Forms(ProgramState &state, MailLibrary &mailLibrary, DialUp &dialUp, QObject *parent)
    : QObject(parent), m_state(state), m_mailLibrary(mailLibrary), m_dialUp(dialUp),
      m_endProgram([] { QCoreApplication::exit(0); })
{
    initialisePictures();
    // The program ends through the main window's unload alone. Closing the last window on screen, a
    // dialog or the notice while the main window is in the tray, must not end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

Forms::~Forms()
{
    discard(m_shinMsgForm);
    discard(m_optionForm);
    discard(m_idPassForm);
    discard(m_setForm);
    discard(m_mainForm);
}

bool Forms::isMainFormLoaded() const
{
    return !m_mainForm.isNull();
}

bool Forms::isSetFormLoaded() const
{
    return !m_setForm.isNull();
}

bool Forms::isIdPassFormLoaded() const
{
    return !m_idPassForm.isNull();
}

bool Forms::isOptionFormLoaded() const
{
    return !m_optionForm.isNull();
}

bool Forms::isShinMsgFormLoaded() const
{
    return !m_shinMsgForm.isNull();
}

MainForm &Forms::mainForm()
{
    if (!m_mainForm)
        m_mainForm = new MainForm(*this);
    return *m_mainForm;
}

SetForm &Forms::setForm()
{
    if (!m_setForm) {
        auto *form = new SetForm(m_mainForm); // in front of the top-most main window
        m_setForm = form;
        forgetOnUnload(m_setForm, form);
        connect(form, &SetForm::intervalChanged, this,
                [this](bool on, const QString &text) { mainForm().showInterval(on, text); });
        connect(form, &SetForm::idPassRequested, this, [this] { idPassForm().showModeless(); });
        connect(form, &SetForm::serverRequested, this, [this] { optionForm().showModeless(); });
        form->load();
    }
    return *m_setForm;
}

IdPassForm &Forms::idPassForm()
{
    if (!m_idPassForm) {
        auto *form = new IdPassForm(m_state.account, m_mainForm); // likewise
        m_idPassForm = form;
        forgetOnUnload(m_idPassForm, form);
        form->load();
    }
    return *m_idPassForm;
}

OptionForm &Forms::optionForm()
{
    if (!m_optionForm) {
        auto *form = new OptionForm(m_state.server, m_mainForm); // top-most, and in front of the main window
        m_optionForm = form;
        forgetOnUnload(m_optionForm, form);
        form->load();
    }
    return *m_optionForm;
}

ShinMsgProxy &Forms::shinMsgForm()
{
    if (!m_shinMsgForm) {
        auto *form = new ShinMsgProxy;
        m_shinMsgForm = form;
        forgetOnUnload(m_shinMsgForm, form);
        form->load();
    }
    return *m_shinMsgForm;
}

void Forms::endProgram()
{
    // Hidden, not closed: their unload handlers must not run. They are deleted with the registry.
    hideWithoutUnload(m_shinMsgForm);
    hideWithoutUnload(m_optionForm);
    hideWithoutUnload(m_idPassForm);
    hideWithoutUnload(m_setForm);
    if (m_endProgram)
        m_endProgram();
}
