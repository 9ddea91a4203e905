#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;

// The program's icon in the notification area. The program sets TrayIcon and TrayTip, calls
// ShowTrayIcon, and hears mouse actions on the icon as TrayClick(code): a left or right click gives 1
// (the popup menu), a middle click gives 0. The system icon is made on the first ShowTrayIcon, so a
// program that never goes to the tray never registers one.
//
// Qt shows the icon through one of two protocols. An old X tray (XEmbed) hands the clicks over as they
// are. A StatusNotifierItem host (the trays of KDE, GNOME's AppIndicator extension, XFCE, LXQt and most
// Wayland bars) draws the popup menu itself from the exported copy on a right click, and its left
// click arrives once its call has been answered, so the host is never kept waiting while the menu is
// open.
class TrayControl final : public QObject {
    Q_OBJECT

public:
    explicit TrayControl(QObject *parent = nullptr);

    QIcon TrayIcon() const { return m_icon; }
    void setTrayIcon(const QIcon &icon) { m_icon = icon; }
    QString TrayTip() const { return m_tip; }
    void setTrayTip(const QString &tip) { m_tip = tip; }
    // The popup menu that StatusNotifierItem hosts draw; an XEmbed tray gets none, as it would show it
    // beside the program's own.
    void setMenu(QMenu *menu) { m_menu = menu; }

    void ShowTrayIcon();
    bool isShown() const;
    static bool available();

    // A passing notice beside the icon; false when the icon is not in the tray.
    bool showMessage(const QString &title, const QString &text);

signals:
    void TrayClick(int code);

private:
    static bool statusNotifierHost();

    QIcon m_icon;
    QString m_tip;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
};
