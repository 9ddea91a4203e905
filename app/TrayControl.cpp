#include "TrayControl.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QGuiApplication>
#include <QSystemTrayIcon>

TrayControl::TrayControl(QObject *parent) : QObject(parent)
{
}

bool TrayControl::statusNotifierHost()
{
    // The test by which Qt's desktop platforms (Qt 6.4) choose a StatusNotifierItem over the X tray:
    // a watcher on the session bus with a host registered. Qt makes it once, on its first tray icon,
    // and so does this, just before.
    static const bool host = [] {
        const QString platform = QGuiApplication::platformName();
        if (platform != u"xcb" && !platform.startsWith(u"wayland"))
            return false;
        const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
        QDBusInterface interface(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher,
                                 QDBusConnection::sessionBus());
        return interface.isValid() && interface.property("IsStatusNotifierHostRegistered").toBool();
    }();
    return host;
}

bool TrayControl::available()
{
    statusNotifierHost();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayControl::ShowTrayIcon()
{
    if (!m_trayIcon) {
        const bool host = statusNotifierHost();
        // A host names the item by the application name. The X window class took that name when the
        // first window was made and keeps it, "poronica", which the desktop entry matches.
        if (host)
            QCoreApplication::setApplicationName(QStringLiteral("ポロニカ"));
        m_trayIcon = new QSystemTrayIcon(this);
        if (host)
            m_trayIcon->setContextMenu(m_menu);
        // A host's click is a D-Bus call: it is answered before the menu or the message box opens.
        connect(
            m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
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
            },
            host ? Qt::QueuedConnection : Qt::DirectConnection);
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
