#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>

class ShinMsgForm;

// "新着のお知らせ" as the program holds it. The window and its page live in the notice helper, a program
// of its own beside this one, so that the browser engine never enters a program that runs all day: loading
// starts the helper, every count and every show go to it as a line, and the helper's own end, when the user
// closes the window, unloads this. A count that the helper had not shown when it ended (the user closed
// the window as it came) starts it again with that count. When the helper cannot start or dies, the same
// window is shown from here with the latest count, without the page.
class ShinMsgProxy final : public QObject {
    Q_OBJECT

public:
    explicit ShinMsgProxy(QObject *parent = nullptr) : QObject(parent) {}
    ~ShinMsgProxy() override; // ends the window without its unload

    void load(); // starts the helper, which shows the window with an empty count
    void showModeless();
    QString text1() const { return m_text1; }
    void setText1(const QString &text);

    // Takes the window off the screen without its unload: the program is ending.
    void hide();

signals:
    void unloaded();

private:
    void send(const QByteArray &line);
    void readShown();
    void helperFinished(int exitCode, QProcess::ExitStatus status);
    void stopHelper();
    void showHere();

    QProcess *m_helper = nullptr;
    QPointer<ShinMsgForm> m_local;
    QString m_text1;
    int m_countsUnshown = 0; // count lines written that the helper has not answered "shown" to
};
