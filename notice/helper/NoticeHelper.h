#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

class ShinMsgForm;

// The notice helper's window: the notice form with the browser engine in its page pane, driven by what
// the program writes to the helper, a line at a time:
//   count <text>   puts the text into the count box and brings the window to the front
//   show           brings the window to the front, the count box as it is
// The page is loaded once, with the window; a count only changes the count box.
class NoticeHelper final : public QObject {
    Q_OBJECT

public:
    // What the process must set before its QApplication exists, for the browser engine.
    static void prepareProcess();

    NoticeHelper(); // shows the window and starts loading the page
    ~NoticeHelper() override;

    // Carries out every whole line.
    void receive(const QByteArray &bytes);

signals:
    void closed();     // by the user
    void countShown(); // a count line has been carried out

private:
    QPointer<ShinMsgForm> m_form;
    QByteArray m_pending;
};
