#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

struct _XDisplay;

// An X window id; Xlib's own headers stay in Desktop.cpp, their macros clash with Qt's names.
using XWindow = unsigned long;

// A private X server (Xvfb, 1280x1024 at 96 DPI, on the first free display number), optionally with
// trayer as the notification area, no window manager. Input goes through xdotool (XTEST), as from a
// person's mouse and keyboard; what is on screen is read with Xlib. Everything it started is stopped
// when it is destroyed, and also if the test process dies.
class Desktop final {
public:
    // The tools that are not installed, for a clear skip message.
    static QStringList missingTools(bool withTray);
    // Makes a child process die with the test driver, so that a crashed or killed test leaves nothing.
    static void dieWithParent(QProcess &process);

    Desktop() = default;
    ~Desktop();

    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;

    bool start(bool withTray, QString *why);
    void stop();
    QString display() const { return m_display; }

    // Top-level windows of this X client class that are on screen; override-redirect windows (menus,
    // tooltips) only when asked for.
    QList<XWindow> visibleWindows(const QByteArray &wmClass, bool overrideRedirect = false) const;
    // The caption as the program set it (WM_NAME) and as a title bar shows it (_NET_WM_NAME).
    QString wmName(XWindow window) const;
    QString netWmName(XWindow window) const;
    QStringList netWmState(XWindow window) const;
    QStringList windowTypes(XWindow window) const; // _NET_WM_WINDOW_TYPE, e.g. _NET_WM_WINDOW_TYPE_POPUP_MENU
    // The visible top-level window of that class whose WM_NAME is exactly title, or 0.
    XWindow visibleWindow(const QByteArray &wmClass, const QString &title) const;
    bool isViewable(XWindow window) const;
    QRect geometry(XWindow window) const; // in root coordinates
    // The window of that class that the tray host has embedded, or 0.
    XWindow trayIcon(const QByteArray &wmClass) const;
    // What a window manager's close box does: WM_DELETE_WINDOW.
    bool requestClose(XWindow window) const;
    QImage grab(XWindow window) const;
    QImage grab(const QRect &rootArea) const;
    // Every visible window of that class with caption, type and place, for failure messages.
    QString describe(const QByteArray &wmClass) const;
    // The CLIPBOARD selection as UTF-8 text; empty when nobody owns it or it does not answer.
    QString clipboardText(int timeoutMs = 3000) const;

    bool focus(XWindow window, QString *why = nullptr) const;
    bool click(XWindow window, const QPoint &at, int button = 1, QString *why = nullptr) const;
    bool doubleClick(XWindow window, const QPoint &at, QString *why = nullptr) const;
    bool type(const QString &text, QString *why = nullptr) const;
    bool keys(const QStringList &names, QString *why = nullptr) const;

    // Polls (running the event loop) until done() or the timeout; true when done.
    static bool waitFor(const std::function<bool()> &done, int timeoutMs);
    // How many different colours a picture holds: a blank or half-drawn one has very few.
    static int colourCount(const QImage &image);

private:
    bool xdotool(const QStringList &arguments, QString *why) const;
    bool waitForTrayHost(int timeoutMs) const;

    QProcess m_xvfb;
    QProcess m_trayer;
    QString m_display;
    _XDisplay *m_x = nullptr;
};
