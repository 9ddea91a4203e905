#include "CheckController.h"

#include "DialUp.h"
#include "Forms.h"
#include "IdPassForm.h"
#include "MailCheck.h"
#include "MailLibrary.h"
#include "MainForm.h"
#include "SetForm.h"
#include "ShinMsgProxy.h"
#include "TrayControl.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QWheelEvent>

#include <memory>

CheckController::CheckController(Forms &forms, QObject *parent) : QObject(parent), m_forms(forms)
{
}

CheckController::~CheckController() = default;

void CheckController::run()
{
    MailCheck::run(m_forms.mailLibrary(), *this);
}

bool CheckController::offThread(const std::function<void()> &work)
{
    if (m_ending)
        return false;
    QEventLoop waiting;
    m_worker.post([work, loop = &waiting] {
        work();
        QCoreApplication::postEvent(loop, new QEvent(QEvent::Quit));
    });
    m_waiting = &waiting;
    // Paints, timers, D-Bus, close requests and the window manager's pings go on; input waits for the
    // check's end.
    QCoreApplication::instance()->installEventFilter(this);
    waiting.exec();
    QCoreApplication::instance()->removeEventFilter(this);
    m_waiting = nullptr;
    // The loop ends early only when the program ends, whose abort cuts the job short. Either way the job is
    // over, quit event posted and all, before the loop goes.
    m_worker.waitUntilIdle();
    return !m_ending;
}

namespace {

// What makes the input event again when it is delivered. A pointer event shares its point with the pointing
// device, which every later event of that device moves on; so mouse and wheel events are made anew from
// their values, at the time they are delivered.
std::function<std::unique_ptr<QEvent>()> remade(const QEvent &event)
{
    if (const auto *mouse = dynamic_cast<const QMouseEvent *>(&event)) {
        return [type = mouse->type(), position = mouse->position(), scenePosition = mouse->scenePosition(),
                globalPosition = mouse->globalPosition(), button = mouse->button(), buttons = mouse->buttons(),
                modifiers = mouse->modifiers(), device = mouse->pointingDevice(), timestamp = mouse->timestamp()] {
            auto copy = std::make_unique<QMouseEvent>(type, position, scenePosition, globalPosition, button, buttons,
                                                      modifiers, device);
            copy->setTimestamp(timestamp);
            return std::unique_ptr<QEvent>(std::move(copy));
        };
    }
    if (const auto *wheel = dynamic_cast<const QWheelEvent *>(&event)) {
        return [position = wheel->position(), globalPosition = wheel->globalPosition(), pixels = wheel->pixelDelta(),
                angle = wheel->angleDelta(), buttons = wheel->buttons(), modifiers = wheel->modifiers(),
                phase = wheel->phase(), inverted = wheel->inverted(), source = wheel->source(),
                device = wheel->pointingDevice()] {
            return std::unique_ptr<QEvent>(std::make_unique<QWheelEvent>(
                position, globalPosition, pixels, angle, buttons, modifiers, phase, inverted, source, device));
        };
    }
    return [copy = std::shared_ptr<QEvent>(event.clone())] { return std::unique_ptr<QEvent>(copy->clone()); };
}

} // namespace

bool CheckController::eventFilter(QObject *watched, QEvent *event)
{
    // Entering and leaving only change how things look: they go on.
    if (!m_waiting || !watched->isWindowType() || !event->isInputEvent() || event->type() == QEvent::Enter ||
        event->type() == QEvent::Leave)
        return false;
    m_heldInput.push_back({static_cast<QWindow *>(watched), remade(*event)});
    return true;
}

void CheckController::releaseHeldInput()
{
    for (const HeldInput &input : std::exchange(m_heldInput, {})) {
        if (!input.window)
            continue;
        const std::unique_ptr<QEvent> event = input.make();
        QCoreApplication::sendEvent(input.window, event.get());
    }
}

void CheckController::endProgram()
{
    m_ending = true;
    MailLibrary &library = m_forms.mailLibrary();
    if (m_waiting) {
        library.abort();
        m_waiting->quit();
    }
    // After the running job, which the abort has cut short.
    m_worker.post([&library] { library.NMailEndWinSock(); });
    m_worker.waitUntilIdle();
}

void CheckController::hangUp()
{
    offThread([this] { hangUpAll(m_forms.dialUp()); });
}

const ServerSettings &CheckController::serverSettings() const
{
    return m_forms.state().server;
}

void CheckController::setAccount(const QString &id, const QString &password)
{
    IdPassForm &idPass = m_forms.idPassForm();
    idPass.setIdText(id);
    idPass.setPassText(password);
    m_forms.state().account = Account{id, password};
}

void CheckController::showAccountDialog()
{
    m_forms.idPassForm().showModeless();
}

void CheckController::showLoginError(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("エラー"), text, QMessageBox::Ok, &m_forms.mainForm());
    box.setObjectName(QStringLiteral("LoginErrorBox"));
    // Timers run on in here, so a timed check can run inside the box of a check started by hand; a timed check
    // that ends here holds the next ones until the box is answered, as Qt does not re-enter Timer1's handler.
    box.exec();
}

bool CheckController::startsMailProgram() const
{
    return m_forms.mainForm().check2();
}

QString CheckController::mailProgramPath() const
{
    return m_forms.mainForm().text7();
}

void CheckController::startMailProgram(const QString &path)
{
    const QStringList command = MailCheck::mailProgramCommand(path);
    if (command.isEmpty() || !QProcess::startDetached(command.first(), command.mid(1)))
        tellMailProgramFailed(path);
}

void CheckController::tellMailProgramFailed(const QString &path)
{
    MainForm &main = m_forms.mainForm();
    const QString text = QStringLiteral("メールソフトを起動できませんでした。\n%1").arg(path);
    if (main.trayControl().showMessage(main.windowTitle(), text))
        return;
    // Not modal: a timed check must not stop and wait for someone to answer.
    auto *box = new QMessageBox(QMessageBox::Warning, main.windowTitle(), text, QMessageBox::Ok, &main);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void CheckController::showNewMail(int count)
{
    ShinMsgProxy &notice = m_forms.shinMsgForm();
    notice.setText1(QString::number(count));
    notice.showModeless();
}

int CheckController::hangUpChoice() const
{
    return m_forms.setForm().check1Value();
}
