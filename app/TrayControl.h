#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QSystemTrayIcon;

// The program's icon in the notification area. The program sets TrayIcon and TrayTip, calls
// ShowTrayIcon, and hears mouse actions on the icon as TrayClick(code): a left or right click gives 1
// (the popup menu), a middle click gives 0. The system icon is made on the first ShowTrayIcon, so a
// program that never goes to the tray never registers one.
class TrayControl final : public QObject {
    Q_OBJECT

public:
    explicit TrayControl(QObject *parent = nullptr);

    QIcon TrayIcon() const { return m_icon; }
    void setTrayIcon(const QIcon &icon) { m_icon = icon; }
    QString TrayTip() const { return m_tip; }
    void setTrayTip(const QString &tip) { m_tip = tip; }

    void ShowTrayIcon();
    bool isShown() const;
    static bool available();

    // A passing notice beside the icon; false when the icon is not in the tray.
    bool showMessage(const QString &title, const QString &text);

signals:
    void TrayClick(int code);

private:
    QIcon m_icon;
    QString m_tip;
    QSystemTrayIcon *m_trayIcon = nullptr;
};
