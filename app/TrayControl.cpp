#include "TrayControl.h"

#include <QSystemTrayIcon>

TrayControl::TrayControl(QObject *parent) : QObject(parent)
{
}

bool TrayControl::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayControl::ShowTrayIcon()
{
    if (!m_trayIcon) {
        m_trayIcon = new QSystemTrayIcon(this);
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
            case QSystemTrayIcon::Trigger:
            case QSystemTrayIcon::Context:
                emit TrayClick(1);
                break;
            case QSystemTrayIcon::MiddleClick:
                emit TrayClick(0);
                break;
            default:
                break;
            }
        });
    }
    m_trayIcon->setIcon(m_icon);
    m_trayIcon->setToolTip(m_tip);
    m_trayIcon->show();
}

bool TrayControl::isShown() const
{
    return m_trayIcon && m_trayIcon->isVisible();
}

bool TrayControl::showMessage(const QString &title, const QString &text)
{
    if (!isShown())
        return false;
    m_trayIcon->showMessage(title, text, QSystemTrayIcon::Warning);
    return true;
}
