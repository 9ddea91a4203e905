#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>

class ShinMsgForm;

// "新着のお知らせ" as the program holds it. The window and its page live in the notice helper, a program
// of its own beside this one, so that the browser engine never enters a program that runs all day: loading
// starts the helper, every count goes to it as a line (which also brings its window to the front), and the
// helper's own end, when the user closes the window, unloads this. When the helper cannot start or dies,
// the same window is shown from here with the latest count, without the page.
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
    void send();
    void helperFinished(int exitCode, QProcess::ExitStatus status);
    void stopHelper();
    void showHere();

    QProcess *m_helper = nullptr;
    QPointer<ShinMsgForm> m_local;
    QString m_text1;
};
