#pragma once

#include "CheckHost.h"
#include "CheckWorker.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWindow>

#include <memory>
#include <vector>

class Forms;
class QEventLoop;

// Runs the main window's mail checks. The check keeps its order on the window's thread; every part that
// waits on the network or on D-Bus (connect, login and walk, close, hang-up) runs on a worker thread of
// its own, one part at a time, while a small event loop here keeps the windows painting and answering the
// desktop. Input to the program's windows is held meanwhile and handled once the check has returned; a
// request to close a window is not input and acts at once. The mail library is called from the worker alone.
class CheckController final : public QObject, private CheckHost {
    Q_OBJECT

public:
    explicit CheckController(Forms &forms, QObject *parent = nullptr);
    ~CheckController() override;

    // One whole check; returns when it is over.
    void run();
    // A part of a check runs on the worker and the window's thread waits for it.
    bool isWaiting() const { return m_waiting != nullptr; }
    bool isEnding() const { return m_ending; }
    // Hands the input held during the check to its windows, in the order it came.
    void releaseHeldInput();

    // "切断": lists the dial-up connections and hangs them up, on the worker.
    void hangUp() override;

    // The program's end: a part running on the worker gives up at once and closes its connection, then the
    // mail library is released there and the worker ends. Nothing runs on it afterwards.
    void endProgram();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool offThread(const std::function<void()> &work) override;
    void tellMailProgramFailed(const QString &path);

    const ServerSettings &serverSettings() const override;
    void setAccount(const QString &id, const QString &password) override;
    void showAccountDialog() override;
    void showLoginError(const QString &text) override;
    bool startsMailProgram() const override;
    QString mailProgramPath() const override;
    void startMailProgram(const QString &path) override;
    void showNewMail(int count) override;
    int hangUpChoice() const override;

    Forms &m_forms;
    CheckWorker m_worker;
    QEventLoop *m_waiting = nullptr;
    bool m_ending = false;
    struct HeldInput {
        QPointer<QWindow> window;
        std::function<std::unique_ptr<QEvent>()> make;
    };
    std::vector<HeldInput> m_heldInput;
};
