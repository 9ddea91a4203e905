#pragma once

#include "Desktop.h"

#include <QByteArray>
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

} // namespace E2e
