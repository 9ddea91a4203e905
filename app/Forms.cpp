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
    discard(slot<ShinMsgProxy>());
    discard(slot<OptionForm>());
    discard(slot<IdPassForm>());
    discard(slot<SetForm>());
    discard(slot<MainForm>());
}

template <class T, class Create>
T &Forms::loaded(Create create)
{
    QPointer<T> &form = slot<T>();
    if (!form) {
        T *made = create();
        form = made;
        // Forgotten the moment it unloads, not only when it is finally deleted, so that a touch right after
        // the close already loads a new one.
        connect(made, &T::unloaded, this, [&form, made] {
            if (form == made)
                form.clear();
        });
        made->load();
    }
    return *form;
}

MainForm &Forms::mainForm()
{
    QPointer<MainForm> &form = slot<MainForm>();
    if (!form)
        form = new MainForm(*this);
    return *form;
}

SetForm &Forms::setForm()
{
    return loaded<SetForm>([this] {
        auto *form = new SetForm(slot<MainForm>()); // in front of the top-most main window
        connect(form, &SetForm::intervalChanged, this,
                [this](bool on, const QString &text) { mainForm().showInterval(on, text); });
        connect(form, &SetForm::idPassRequested, this, [this] { idPassForm().showModeless(); });
        connect(form, &SetForm::serverRequested, this, [this] { optionForm().showModeless(); });
        return form;
    });
}

IdPassForm &Forms::idPassForm()
{
    return loaded<IdPassForm>([this] { return new IdPassForm(m_state.account, slot<MainForm>()); }); // likewise
}

OptionForm &Forms::optionForm()
{
    // Top-most, and in front of the main window.
    return loaded<OptionForm>([this] { return new OptionForm(m_state.server, slot<MainForm>()); });
}

ShinMsgProxy &Forms::shinMsgForm()
{
    return loaded<ShinMsgProxy>([] { return new ShinMsgProxy; });
}

void Forms::endProgram()
{
    // Hidden, not closed: their unload handlers must not run. They are deleted with the registry.
    hideWithoutUnload(slot<ShinMsgProxy>());
    hideWithoutUnload(slot<OptionForm>());
    hideWithoutUnload(slot<IdPassForm>());
    hideWithoutUnload(slot<SetForm>());
    if (m_endProgram)
        m_endProgram();
}
