#pragma once

#include "Desktop.h"
#include "ProgramRun.h"

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

// What the end-to-end tests know of the program's windows: X class, captions, and where its buttons
// are in client coordinates (pixels at 96 DPI, no window manager, so client = window).
namespace E2e {

inline const QByteArray ProgramClass = QByteArrayLiteral("poronica");

inline const QString MainTitle = QStringLiteral("ポロニカ");
inline const QString ServerTitle = QStringLiteral("サーバー設定");
inline const QString AccountTitle = QStringLiteral("ID,PASS");
inline const QString SettingsTitle = QStringLiteral("設定");
inline const QString NoticeTitle = QStringLiteral("新着のお知らせ");

inline constexpr QSize MainClientSize{213, 256};
inline constexpr QPoint CheckButton{204, 134}; // "メ｜ルチェック"
inline constexpr QPoint TrayButton{204, 232};  // "タスク"
inline constexpr QPoint SettingsButton{124, 241};
inline constexpr QPoint OnLabel{10, 243};      // "ON"/"OFF"
inline constexpr QPoint MinutesLabel{92, 243}; // "分"

// "サーバー設定"
inline constexpr QPoint SmtpBox{60, 32};
inline constexpr QPoint Pop3Box{60, 72};
inline constexpr QPoint ServerSaveButton{76, 180};
// "ID,PASS"
inline constexpr QPoint IdBox{100, 16};
inline constexpr QPoint SaveCheck{36, 76};
// "新着のお知らせ": the count box
inline constexpr QPoint CountBox{336, 398};

// "未設定" in code page 932.
inline const QByteArray NotSet = QByteArrayLiteral("\x96\xA2\x90\xDD\x92\xE8");

inline XWindow waitForWindow(const Desktop &desktop, const QString &title, int timeoutMs = 10000)
{
    XWindow window = 0;
    Desktop::waitFor([&] { return (window = desktop.visibleWindow(ProgramClass, title)) != 0; }, timeoutMs);
    return window;
}

inline bool waitUntilGone(const Desktop &desktop, XWindow window, int timeoutMs = 5000)
{
    return Desktop::waitFor([&] { return !desktop.isViewable(window); }, timeoutMs);
}

// Captions of the program's visible top-level windows, for failure messages.
inline QString visibleTitles(const Desktop &desktop)
{
    QStringList titles;
    for (const XWindow window : desktop.visibleWindows(ProgramClass))
        titles << desktop.wmName(window);
    return titles.join(QStringLiteral(" | "));
}

// The program's popup menu, or 0: its override-redirect window that is not a tooltip (Qt gives the
// menu no menu type).
inline XWindow waitForMenu(const Desktop &desktop, int timeoutMs = 5000)
{
    XWindow menu = 0;
    Desktop::waitFor(
        [&] {
            for (const XWindow window : desktop.visibleWindows(ProgramClass, true)) {
                if (!desktop.windowTypes(window).contains(QStringLiteral("_NET_WM_WINDOW_TYPE_TOOLTIP")))
                    menu = window;
            }
            return menu != 0;
        },
        timeoutMs);
    return menu;
}

// The tray menu has two entries around a separator: the first in its top quarter, the last in its
// bottom one.
inline bool chooseFromMenu(const Desktop &desktop, XWindow menu, bool last, QString *why)
{
    const QRect area = desktop.geometry(menu);
    const QPoint at(area.width() / 2, last ? area.height() - area.height() / 4 : area.height() / 4);
    if (!desktop.click(menu, at, 1, why))
        return false;
    if (!waitUntilGone(desktop, menu, 3000)) {
        *why = QStringLiteral("the menu stayed open");
        return false;
    }
    return true;
}

// After a failure: what was on screen (also as a picture beside the test) and what the program said.
inline void reportFailure(const Desktop &desktop, ProgramRun &program, const QString &testName)
{
    const QString picture = QDir::current().filePath(testName + QStringLiteral("_failure.png"));
    desktop.grab(QRect(0, 0, 1280, 1024)).save(picture);
    qInfo().noquote() << "on screen (" + picture + "):\n" + desktop.describe(ProgramClass);
    qInfo().noquote() << "program output:\n" + QString::fromLocal8Bit(program.output());
}

} // namespace E2e
