#pragma once

#include "Form.h"

#include <QElapsedTimer>

class CheckController;
class ColourButton;
class Forms;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMovie;
class MovieLabel;
class QPushButton;
class QTimer;
class ScrollBanner;
class TrayControl;

// "ポロニカ": the main window. Besides what the user sees, it holds the hidden value stores that other
// parts of the program use (the mail program's path and title, the minute counter's fields), the
// hang-up button, the two click-only pictures, the timers and the tray icon.
class MainForm final : public Form {
    Q_OBJECT

public:
    explicit MainForm(Forms &forms);

    // The start of the program: shows the window top-most and fills everything from the settings files.
    void load();

    // The operation behind "メ｜ルチェック" and the timed checks. The window goes on painting while the
    // check waits on the server; input and due timer ticks are handled once it has returned.
    void CheckMail();

    // Click handlers of controls that code, not the user, runs.
    void picture7Click();
    void picture10Click();
    void command5Click();
    void command7Click();
    void command1Click();
    void mnu_Popup(int index);
    void trayClick(int code);

    // The interval shown in the green panel and the one-second timer, set by the check settings dialog.
    void showInterval(bool on, const QString &text);

    QString text7() const;
    void setText7(const QString &text);
    bool check2() const;
    TrayControl &trayControl() { return *m_trayControl; }

    // Timer handlers, public so that tests can tick them without waiting.
    void timer1Tick();
    void timer3Tick();
    void timer4Tick();

    static inline const QString HomePage = QStringLiteral("https://www.example.jp/");

protected:
    void unloadHandler() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildVisibleControls();
    void buildHiddenControls();
    void showBulbPicture();
    void startPollAndScroll();
    bool heldByCheck(void (MainForm::*handler)());
    void handleHeld();

    Forms &m_forms;
    CheckController *m_check = nullptr;

    // What shows, top to bottom.
    QWidget *m_picture2 = nullptr;       // the frame that clips the bulb pane
    MovieLabel *m_webBrowser1 = nullptr; // the bulb pane
    QMovie *m_bulb = nullptr;            // the glowing bulb it plays
    QCheckBox *m_check2 = nullptr;       // ticked: new mail starts the mail program
    ScrollBanner *m_picture5 = nullptr;  // the scrolling banner
    QLabel *m_label1 = nullptr;          // its caption: the mail program's title, moved by Timer4
    QLabel *m_label2On = nullptr;        // "ON" or "OFF" for the interval check; a double-click shows the notice
    QLabel *m_label2Minutes = nullptr;   // "分"; a double-click shows the notice too
    QCheckBox *m_check3 = nullptr;       // ticked while the interval check is on
    QLineEdit *m_text5 = nullptr;        // the interval in minutes

    // Hidden: value stores, and hooks that code runs.
    QLineEdit *m_text7 = nullptr;         // the mail program's path
    QLineEdit *m_text8 = nullptr;         // its title, the file name, which the banner shows
    QLineEdit *m_text1 = nullptr;         // the minute counter
    QLineEdit *m_text4 = nullptr;         // the second counter
    QPushButton *m_command5 = nullptr;    // "切断": hangs up dial-up connections after a check
    QLabel *m_picture7 = nullptr;         // its click runs a check; Timer1 clicks it when one is due
    QLabel *m_picture10 = nullptr;        // its click offers the home page; "HP" clicks it
    QTimer *m_timer1 = nullptr;           // 100 ms: is a timed check due?
    QTimer *m_timer3 = nullptr;           // 1 s: counts the seconds and minutes while the interval check is on
    QTimer *m_timer4 = nullptr;           // 20 ms: one scroll step of the caption
    TrayControl *m_trayControl = nullptr; // the tray icon
    QMenu *m_mnuPopup = nullptr;          // the tray icon's menu

    float m_label1Left;          // twips, single precision: the scroll arithmetic ends exactly on -1500
    QElapsedTimer m_hiddenSince; // while hidden, the scroll timer sleeps
    // Timer3's ticks so far, and the tick in whose due second Timer1 last started a check: the ten polls
    // of a due second start one check, not ten logins and ten mail programs.
    qint64 m_secondTicks = 0;
    qint64 m_timedCheckTick = -1;
    // What fell due while a check waited on the server: each timer's handler runs once after the check,
    // then the tray's last click, then the input the check held.
    QList<void (MainForm::*)()> m_heldTicks;
    int m_heldTrayClick = -1;
};
