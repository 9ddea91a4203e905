#include "Desktop.h"

#include <QSet>

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>
#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int ProcessTimeoutMs = 5000;

// Windows come and go while they are looked at; a vanished window must not end the test driver.
int ignoreXErrors(Display *, XErrorEvent *)
{
    return 0;
}

bool stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    if (process.waitForFinished(3000))
        return true;
    process.kill();
    return process.waitForFinished(3000);
}

QByteArray property(Display *x, XWindow window, const char *name, Atom *type = nullptr)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const Atom atom = XInternAtom(x, name, True);
    if (atom == None || XGetWindowProperty(x, window, atom, 0, 65536, False, AnyPropertyType, &actualType, &format,
                                           &count, &after, &data) != Success)
        return {};
    QByteArray bytes;
    if (data) {
        const int unit = format == 32 ? int(sizeof(long)) : format / 8;
        bytes = QByteArray(reinterpret_cast<const char *>(data), int(count) * unit);
        XFree(data);
    }
    if (type)
        *type = actualType;
    return bytes;
}

QStringList atomNames(Display *x, const QByteArray &bytes)
{
    QStringList names;
    for (qsizetype offset = 0; offset + qsizetype(sizeof(long)) <= bytes.size(); offset += sizeof(long)) {
        const Atom atom = *reinterpret_cast<const long *>(bytes.constData() + offset);
        if (char *name = XGetAtomName(x, atom)) {
            names << QString::fromLatin1(name);
            XFree(name);
        }
    }
    return names;
}

bool hasClass(Display *x, XWindow window, const QByteArray &wmClass)
{
    XClassHint hint{};
    if (!XGetClassHint(x, window, &hint))
        return false;
    const bool match = (hint.res_name && wmClass == hint.res_name) || (hint.res_class && wmClass == hint.res_class);
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

QList<XWindow> children(Display *x, XWindow window)
{
    XWindow root = 0;
    XWindow parent = 0;
    XWindow *list = nullptr;
    unsigned int count = 0;
    QList<XWindow> result;
    if (!XQueryTree(x, window, &root, &parent, &list, &count))
        return result;
    for (unsigned int i = 0; i < count; ++i)
        result << list[i];
    XFree(list);
    return result;
}

} // namespace

QStringList Desktop::missingTools(bool withTray)
{
    QStringList tools{QStringLiteral("Xvfb"), QStringLiteral("xdotool")};
    if (withTray)
        tools << QStringLiteral("trayer");
    QStringList missing;
    for (const QString &tool : tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing << tool;
    }
    return missing;
}

void Desktop::dieWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

Desktop::~Desktop()
{
    stop();
}

bool Desktop::start(bool withTray, QString *why)
{
    // Captions are COMPOUND_TEXT; Xlib converts them to UTF-8 only in a UTF-8 locale.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    XSetErrorHandler(ignoreXErrors);

    // -displayfd picks a free display number itself, so tests running side by side never share one.
    dieWithParent(m_xvfb);
    m_xvfb.setProcessChannelMode(QProcess::SeparateChannels);
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("1280x1024x24"), QStringLiteral("-dpi"), QStringLiteral("96"),
                  QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray number;
    const QDeadlineTimer deadline(10000);
    while (!number.endsWith('\n') && !deadline.hasExpired() && m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.waitForReadyRead(100);
        number += m_xvfb.readAllStandardOutput();
    }
    if (!number.endsWith('\n')) {
        *why = QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(m_xvfb.readAllStandardError());
        stop();
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    m_x = XOpenDisplay(m_display.toLatin1().constData());
    if (!m_x) {
        *why = QStringLiteral("cannot open display ") + m_display;
        stop();
        return false;
    }
    if (!withTray)
        return true;

    dieWithParent(m_trayer);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    m_trayer.setProcessEnvironment(environment);
    m_trayer.setProcessChannelMode(QProcess::MergedChannels);
    m_trayer.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
                    QStringLiteral("--widthtype"), QStringLiteral("pixel"), QStringLiteral("--width"),
                    QStringLiteral("100"), QStringLiteral("--height"), QStringLiteral("32"),
                    QStringLiteral("--transparent"), QStringLiteral("false"), QStringLiteral("--expand"),
                    QStringLiteral("false")});
    if (!waitForTrayHost(10000)) {
        *why = QStringLiteral("trayer did not take the tray selection: ") + QString::fromLocal8Bit(m_trayer.readAll());
        stop();
        return false;
    }
    return true;
}

bool Desktop::waitForTrayHost(int timeoutMs) const
{
    const Atom selection = XInternAtom(m_x, "_NET_SYSTEM_TRAY_S0", False);
    return waitFor([&] { return XGetSelectionOwner(m_x, selection) != None; }, timeoutMs);
}

void Desktop::stop()
{
    stopProcess(m_trayer);
    if (m_x) {
        XCloseDisplay(m_x);
        m_x = nullptr;
    }
    stopProcess(m_xvfb);
}

QList<XWindow> Desktop::visibleWindows(const QByteArray &wmClass, bool overrideRedirect) const
{
    QList<XWindow> result;
    for (const XWindow window : children(m_x, DefaultRootWindow(m_x))) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(m_x, window, &attributes) || attributes.map_state != IsViewable)
            continue;
        if (bool(attributes.override_redirect) == overrideRedirect && hasClass(m_x, window, wmClass))
            result << window;
    }
    return result;
}

QString Desktop::wmName(XWindow window) const
{
    XTextProperty text{};
    if (!XGetWMName(m_x, window, &text) || !text.value)
        return {};
    QString name;
    char **list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(m_x, &text, &list, &count) >= Success && count > 0 && list) {
        name = QString::fromUtf8(list[0]);
        XFreeStringList(list);
    } else {
        name = QString::fromLatin1(reinterpret_cast<const char *>(text.value), int(text.nitems));
    }
    XFree(text.value);
    return name;
}

QString Desktop::netWmName(XWindow window) const
{
    return QString::fromUtf8(property(m_x, window, "_NET_WM_NAME"));
}

QStringList Desktop::netWmState(XWindow window) const
{
    return atomNames(m_x, property(m_x, window, "_NET_WM_STATE"));
}

QStringList Desktop::windowTypes(XWindow window) const
{
    return atomNames(m_x, property(m_x, window, "_NET_WM_WINDOW_TYPE"));
}

QString Desktop::describe(const QByteArray &wmClass) const
{
    QStringList lines;
    for (const bool overrideRedirect : {false, true}) {
        for (const XWindow window : visibleWindows(wmClass, overrideRedirect)) {
            const QRect area = geometry(window);
            lines << QStringLiteral("0x%1 \"%2\" %3 %4x%5+%6+%7")
                         .arg(QString::number(window, 16), netWmName(window),
                              windowTypes(window).join(QLatin1Char(',')))
                         .arg(area.width())
                         .arg(area.height())
                         .arg(area.x())
                         .arg(area.y());
        }
    }
    if (const XWindow icon = trayIcon(wmClass))
        lines << QStringLiteral("0x%1 in the tray").arg(QString::number(icon, 16));
    return lines.join(QLatin1Char('\n'));
}

XWindow Desktop::visibleWindow(const QByteArray &wmClass, const QString &title) const
{
    for (const XWindow window : visibleWindows(wmClass)) {
        if (wmName(window) == title)
            return window;
    }
    return 0;
}

bool Desktop::isViewable(XWindow window) const
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(m_x, window, &attributes) && attributes.map_state == IsViewable;
}

QRect Desktop::geometry(XWindow window) const
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(m_x, window, &attributes))
        return {};
    int x = 0;
    int y = 0;
    XWindow child = 0;
    XTranslateCoordinates(m_x, window, DefaultRootWindow(m_x), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

XWindow Desktop::trayIcon(const QByteArray &wmClass) const
{
    // Top-level windows are the programs' own; an embedded icon sits somewhere below the tray host's. The
    // program's own windows are passed over: their native child windows carry its class too.
    QList<XWindow> pending;
    for (const XWindow window : children(m_x, DefaultRootWindow(m_x))) {
        if (!hasClass(m_x, window, wmClass))
            pending << children(m_x, window);
    }
    while (!pending.isEmpty()) {
        const XWindow window = pending.takeFirst();
        if (hasClass(m_x, window, wmClass) && isViewable(window))
            return window;
        pending << children(m_x, window);
    }
    return 0;
}

bool Desktop::requestClose(XWindow window) const
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(m_x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(m_x, window, False, NoEventMask, &event) != 0;
    XFlush(m_x);
    return sent;
}

int Desktop::colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    }
    return int(colours.size());
}

QImage Desktop::grab(XWindow window) const
{
    return grab(geometry(window));
}

QImage Desktop::grab(const QRect &rootArea) const
{
    const QRect area = rootArea & QRect(0, 0, DisplayWidth(m_x, 0), DisplayHeight(m_x, 0));
    if (area.isEmpty())
        return {};
    XImage *image = XGetImage(m_x, DefaultRootWindow(m_x), area.x(), area.y(), unsigned(area.width()),
                              unsigned(area.height()), AllPlanes, ZPixmap);
    if (!image)
        return {};
    QImage result(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < area.width(); ++x)
            line[x] = QRgb(XGetPixel(image, x, y)) | 0xff000000u; // 24-bit TrueColor: 0x00RRGGBB
    }
    XDestroyImage(image);
    return result;
}

QString Desktop::clipboardText(int timeoutMs) const
{
    const Atom clipboard = XInternAtom(m_x, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(m_x, "UTF8_STRING", False);
    const Atom target = XInternAtom(m_x, "PORONICA_E2E_PASTE", False);
    const XWindow requestor = XCreateSimpleWindow(m_x, DefaultRootWindow(m_x), 0, 0, 1, 1, 0, 0, 0);
    XConvertSelection(m_x, clipboard, utf8, target, requestor, CurrentTime);
    XFlush(m_x);

    QString text;
    const QDeadlineTimer deadline(timeoutMs);
    bool answered = false;
    while (!answered && !deadline.hasExpired()) {
        XEvent event{};
        if (XCheckTypedWindowEvent(m_x, requestor, SelectionNotify, &event)) {
            answered = true;
            if (event.xselection.property != None)
                text = QString::fromUtf8(property(m_x, requestor, "PORONICA_E2E_PASTE"));
        } else {
            QThread::msleep(10);
        }
    }
    XDestroyWindow(m_x, requestor);
    XFlush(m_x);
    return text;
}

bool Desktop::xdotool(const QStringList &arguments, QString *why) const
{
    QProcess process;
    dieWithParent(process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("xdotool"), arguments);
    const bool finished = process.waitForFinished(ProcessTimeoutMs);
    if (!finished)
        stopProcess(process);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    if (why) {
        *why = QStringLiteral("xdotool %1 failed%2: %3")
                   .arg(arguments.join(QLatin1Char(' ')), finished ? QString() : QStringLiteral(" (timed out)"),
                        QString::fromLocal8Bit(process.readAll()));
    }
    return false;
}

bool Desktop::focus(XWindow window, QString *why) const
{
    return xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)}, why);
}

bool Desktop::click(XWindow window, const QPoint &at, int button, QString *why) const
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
                    QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"), QString::number(button)},
                   why);
}

bool Desktop::doubleClick(XWindow window, const QPoint &at, QString *why) const
{
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
                    QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                    QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("80"),
                    QStringLiteral("1")},
                   why);
}

bool Desktop::type(const QString &text, QString *why) const
{
    return xdotool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("--"), text}, why);
}

bool Desktop::keys(const QStringList &names, QString *why) const
{
    return xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} + names, why);
}

bool Desktop::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}
