#include "MainForm.h"

#include "CheckController.h"
#include "ColourButton.h"
#include "Forms.h"
#include "GeneralDate.h"
#include "IdPassForm.h"
#include "MailLibrary.h"
#include "MovieLabel.h"
#include "ProfileFile.h"
#include "ProgramFont.h"
#include "ProgramPaths.h"
#include "Schedule.h"
#include "ScrollBanner.h"
#include "ServerSettingsFile.h"
#include "SetForm.h"
#include "SettingsKeys.h"
#include "ShinMsgProxy.h"
#include "TrayControl.h"
#include "Twips.h"

#include <QAction>
#include <QCheckBox>
#include <QCursor>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMovie>
#include <QTimer>
#include <QUrl>

namespace {

const QColor DarkRed(64, 0, 0);
const QColor DarkGreen(0, 64, 0);
const QColor Blue(0, 0, 255);
const QColor White(255, 255, 255);
const QColor Yellow(255, 255, 0);
const QColor LightGrey(192, 192, 192);

void setColours(QWidget *widget, const QColor &text, const QColor &background = QColor())
{
    QPalette palette = widget->palette();
    if (text.isValid())
        palette.setColor(QPalette::WindowText, text);
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Button, background);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

QWidget *container(const char *name, QWidget *parent, const QColor &background = QColor())
{
    auto *box = new QWidget(parent);
    box->setObjectName(QLatin1String(name));
    if (background.isValid())
        setColours(box, QColor(), background);
    return box;
}

QLabel *label(const QString &caption, const char *name, QWidget *parent)
{
    auto *text = new QLabel(caption, parent);
    text->setObjectName(QLatin1String(name));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return text;
}

QLineEdit *hiddenText(const QString &text, const char *name, QWidget *parent)
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    // Never shown: with nothing to display, a write (the counters change every second) lays out no text.
    box->setEchoMode(QLineEdit::NoEcho);
    box->hide();
    return box;
}

QTimer *timer(const char *name, int interval, QObject *parent)
{
    auto *t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(interval);
    return t;
}

// Hidden text boxes are written on every tick; skip the write when nothing changes.
void setTextIfChanged(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

} // namespace

MainForm::MainForm(Forms &forms) : Form(nullptr), m_forms(forms), m_label1Left(Schedule::ScrollStart)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("ポロニカ"));
    setClientSizeTwips(3195, 3840);
    setCentredWhenFirstShown(true);
    setColours(this, QColor(), DarkRed);

    buildVisibleControls();
    buildHiddenControls();
    m_check = new CheckController(forms, this);
}

void MainForm::buildVisibleControls()
{
    m_picture2 = container("Picture2", this);
    place(m_picture2, 0, 0, 2895, 2775);
    // The picture view is larger than its container, so that strips at the left, right and top are clipped
    // away. The picture is centred in the part that shows.
    m_webBrowser1 = new MovieLabel(m_picture2);
    m_webBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    place(m_webBrowser1, -360, -480, 3615, 3255);
    m_webBrowser1->setAlignment(Qt::AlignCenter);
    m_webBrowser1->setContentsMargins(Twips::toPixels(360), Twips::toPixels(480), Twips::toPixels(360), 0);
    setColours(m_webBrowser1, QColor(), DarkRed);

    auto *command7 = new ColourButton(QStringLiteral("メ｜ラ｜設定"), White, this);
    command7->setObjectName(QStringLiteral("Command7"));
    place(command7, 2880, 0, 360, 1260);
    connect(command7, &QPushButton::clicked, this, &MainForm::command7Click);

    auto *command8 = new ColourButton(QStringLiteral("メ｜ルチェック"), QColor(255, 128, 128), this);
    command8->setObjectName(QStringLiteral("Command8"));
    place(command8, 2880, 1260, 375, 1500);
    connect(command8, &QPushButton::clicked, this, &MainForm::CheckMail);

    // A plain picture box: the system's button face colour.
    auto *picture3 = container("Picture3", this, QPalette().color(QPalette::Button));
    place(picture3, 0, 2760, 3255, 375);
    auto *label3 = label(QStringLiteral("新着有りで設定メーラーを起動"), "Label3", picture3);
    setColours(label3, Blue);
    place(label3, 120, 60, 2415, 255);
    m_check2 = new QCheckBox(picture3);
    m_check2->setObjectName(QStringLiteral("Check2"));
    m_check2->setAccessibleName(label3->text());
    setColours(m_check2, QColor(), QColor(224, 224, 224));
    place(m_check2, 2760, 60, 255, 255);

    auto *picture4 = container("Picture4", this, DarkGreen);
    place(picture4, 0, 3120, 2895, 735);
    // The banner paints the scrolling caption itself; see ScrollBanner.
    m_picture5 = new ScrollBanner(QPixmap(QStringLiteral(":/poronica/banner.bmp")), picture4);
    m_picture5->setObjectName(QStringLiteral("Picture5"));
    place(m_picture5, 0, 0, 2895, 300);
    m_label1 = label(QStringLiteral("インターバルチェック"), "Label1", m_picture5);
    setColours(m_label1, Yellow);
    m_label1->setFont(ProgramFont::font(11.25, true));
    place(m_label1, 2760, 0, 2415, 255);
    m_picture5->setCaption(m_label1);

    m_label2On = label(QStringLiteral("ON"), "Label2_1", picture4);
    setColours(m_label2On, White, DarkGreen);
    place(m_label2On, 40, 400, 375, 255);
    m_check3 = new QCheckBox(picture4);
    m_check3->setObjectName(QStringLiteral("Check3"));
    setColours(m_check3, QColor(), DarkGreen);
    place(m_check3, 400, 400, 255, 180);
    m_text5 = new QLineEdit(picture4);
    m_text5->setObjectName(QStringLiteral("Text5"));
    place(m_text5, 700, 350, 495, 270);
    m_label2Minutes = label(QStringLiteral("分"), "Label2_0", picture4);
    setColours(m_label2Minutes, White, DarkGreen);
    place(m_label2Minutes, 1260, 400, 375, 255);
    m_label2On->installEventFilter(this);
    m_label2Minutes->installEventFilter(this);

    auto *command9 = new ColourButton(QStringLiteral("設定"), QColor(128, 255, 128), picture4);
    command9->setObjectName(QStringLiteral("Command9"));
    place(command9, 1560, 300, 615, 400);
    connect(command9, &QPushButton::clicked, this, [this] { m_forms.setForm().showModeless(); });
    auto *command10 = new ColourButton(QStringLiteral("HP"), LightGrey, picture4);
    command10->setObjectName(QStringLiteral("Command10"));
    place(command10, 2160, 300, 735, 400);
    connect(command10, &QPushButton::clicked, this, &MainForm::picture10Click);

    auto *command1 = new ColourButton(QStringLiteral("タスク"), LightGrey, this);
    command1->setObjectName(QStringLiteral("Command1"));
    place(command1, 2880, 3120, 375, 780);
    connect(command1, &QPushButton::clicked, this, &MainForm::command1Click);
}

void MainForm::buildHiddenControls()
{
    // Value stores and hooks that lie outside the visible area.
    m_text7 = hiddenText(QString(), "Text7", this);
    m_text8 = hiddenText(QString(), "Text8", this);
    // The title follows the stored program as it changes: working it out looks at the file system, which the
    // scroll's 20 ms tick need not do fifty times a second.
    connect(m_text7, &QLineEdit::textChanged, this,
            [this](const QString &path) { setTextIfChanged(m_text8, Schedule::fileTitle(path)); });
    m_text1 = hiddenText(QStringLiteral("Text1"), "Text1", this);
    m_text4 = hiddenText(QStringLiteral("Text4"), "Text4", this);
    m_command5 = new QPushButton(QStringLiteral("切断"), this);
    m_command5->setObjectName(QStringLiteral("Command5"));
    m_command5->hide();
    connect(m_command5, &QPushButton::clicked, this, &MainForm::command5Click);
    m_picture7 = label(QString(), "Picture7", this);
    m_picture7->setPixmap(QPixmap(QStringLiteral(":/poronica/picture7.gif")));
    m_picture7->hide();
    m_picture10 = label(QString(), "Picture10", this);
    m_picture10->setPixmap(QPixmap(QStringLiteral(":/poronica/picture10.gif")));
    m_picture10->hide();

    m_timer1 = timer("Timer1", 100, this);
    m_timer3 = timer("Timer3", 0, this);
    m_timer4 = timer("Timer4", 20, this);
    connect(m_timer1, &QTimer::timeout, this, &MainForm::timer1Tick);
    connect(m_timer3, &QTimer::timeout, this, &MainForm::timer3Tick);
    connect(m_timer4, &QTimer::timeout, this, &MainForm::timer4Tick);
    startPollAndScroll();

    m_trayControl = new TrayControl(this);
    m_trayControl->setObjectName(QStringLiteral("TrayControl1"));
    connect(m_trayControl, &TrayControl::TrayClick, this, &MainForm::trayClick);

    m_mnuPopup = new QMenu(QStringLiteral("popup"), this);
    m_mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    const QStringList items{QStringLiteral("メイン画面を表示"), QStringLiteral("-"), QStringLiteral("終了")};
    for (int index = 0; index < items.size(); ++index) {
        QAction *action = items[index] == u"-" ? m_mnuPopup->addSeparator() : m_mnuPopup->addAction(items[index]);
        action->setObjectName(QStringLiteral("mnu_Popup_%1").arg(index));
        action->setData(index);
    }
    // A choice, from this menu or from a tray host's own drawing of it, is carried out once the menu has closed.
    connect(
        m_mnuPopup, &QMenu::triggered, this, [this](QAction *action) { mnu_Popup(action->data().toInt()); },
        Qt::QueuedConnection);
    m_trayControl->setMenu(m_mnuPopup);
}

void MainForm::load()
{
    setTopMost();
    show();

    ProfileFile checkSettings(ProgramPaths::checkSettingsFile());
    if (const auto hangUp = SettingsKeys::checkBoxState(checkSettings.readInt(SettingsKeys::HangUp)))
        m_forms.setForm().setCheck1(*hangUp);

    ProgramState &state = m_forms.state();
    ServerSettingsFile::read(ServerSettingsFile::currentPath(), state.server);

    MailLibrary &library = m_forms.mailLibrary();
    library.NMailInitializeWinSock();
    library.NMailSetOption(1, 8192);

    if (state.server.pop3.isEmpty())
        m_forms.optionForm();

    IdPassForm &idPass = m_forms.idPassForm();
    if (idPass.idText().isEmpty() || idPass.passText().isEmpty())
        idPass.showModeless();

    showBulbPicture();

    m_forms.setForm().setText2(QString::number(checkSettings.readInt(SettingsKeys::Interval)));

    QString mailProgram = checkSettings.readString(SettingsKeys::MailProgram, SettingsKeys::NotSet);
    if (mailProgram.isEmpty())
        mailProgram = SettingsKeys::NotSet;
    m_text7->setText(mailProgram);

    if (const auto startMailer = SettingsKeys::checkBoxState(checkSettings.readInt(SettingsKeys::StartMailer)))
        m_check2->setChecked(*startMailer);
}

void MainForm::showEvent(QShowEvent *event)
{
    // The scroll timer sleeps while the window is hidden: advance the label by the ticks it missed, so
    // it stands where it would have stood, and wake the timer again.
    if (m_hiddenSince.isValid()) {
        const qint64 missed = m_hiddenSince.elapsed() / m_timer4->interval();
        for (qint64 tick = 0; tick < missed % Schedule::ScrollCycleTicks; ++tick)
            m_label1Left = Schedule::nextScrollLeft(m_label1Left);
        m_hiddenSince.invalidate();
        startPollAndScroll();
        timer4Tick();
    }
    m_picture5->moveCaption(QPoint(Twips::toPixels(m_label1Left), m_label1->y()));
    if (m_bulb && m_bulb->state() == QMovie::Paused)
        m_bulb->setPaused(false);
    Form::showEvent(event);
}

void MainForm::hideEvent(QHideEvent *event)
{
    // Nobody sees the bulb glow or the caption scroll while the window is in the tray.
    if (m_bulb && m_bulb->state() == QMovie::Running)
        m_bulb->setPaused(true);
    if (m_timer4->isActive()) {
        m_timer4->stop();
        m_hiddenSince.start();
        // Alone, the poll may move by a few milliseconds to wake together with Timer3's second.
        m_timer1->setTimerType(Qt::CoarseTimer);
        m_timer1->start();
    }
    Form::hideEvent(event);
}

// Timer1's 100 ms and Timer4's 20 ms run in step, started together and kept to their exact intervals, so
// that every fifth scroll tick and the poll are one wake-up rather than two. Restarting Timer1 moves its
// polls by less than one interval; it polls as often as ever.
void MainForm::startPollAndScroll()
{
    m_timer1->setTimerType(Qt::PreciseTimer);
    m_timer4->setTimerType(Qt::PreciseTimer);
    m_timer4->start();
    m_timer1->start();
}

void MainForm::showBulbPicture()
{
    const QString bulb = m_webBrowser1->pictureForScreen(ProgramPaths::pictureFile(QStringLiteral("denkyu.gif")));
    m_bulb = new QMovie(bulb, QByteArray(), this);
    if (!m_bulb->isValid()) {
        delete m_bulb; // a missing picture leaves the pane empty
        m_bulb = nullptr;
        return;
    }
    // Its few frames are decoded once rather than on every loop.
    m_bulb->setCacheMode(QMovie::CacheAll);
    m_webBrowser1->setAnimation(m_bulb);
    m_bulb->start();
}

void MainForm::unloadHandler()
{
    ProfileFile checkSettings(ProgramPaths::checkSettingsFile());
    checkSettings.writeString(SettingsKeys::MailProgram, m_text7->text());
    checkSettings.writeString(SettingsKeys::StartMailer, SettingsKeys::checkBoxText(m_check2->isChecked()));
    // A check waiting on the server ends here, its connection closed, rather than holding up the end.
    m_check->endProgram();
    m_timer1->stop();
    m_timer3->stop();
    m_timer4->stop();
    m_forms.endProgram();
}

void MainForm::CheckMail()
{
    m_check->run();
    if (!m_check->isEnding())
        handleHeld();
}

// While a check waits on the server no timer handler runs: each timer that fell due meanwhile runs its
// handler once after the check, as a timer held up by a long handler would.
bool MainForm::heldByCheck(void (MainForm::*handler)())
{
    if (!m_check->isWaiting())
        return false;
    if (!m_heldTicks.contains(handler))
        m_heldTicks << handler;
    return true;
}

void MainForm::handleHeld()
{
    for (const auto handler : std::exchange(m_heldTicks, {}))
        (this->*handler)();
    if (const int code = std::exchange(m_heldTrayClick, -1); code != -1)
        trayClick(code);
    m_check->releaseHeldInput();
}

void MainForm::picture7Click()
{
    CheckMail();
}

void MainForm::picture10Click()
{
    const auto answer = QMessageBox::question(
        this, QStringLiteral("確認"), QStringLiteral("「ペルリモ」作者のホームページです。ちょっと見てみますか？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl(HomePage));
}

void MainForm::command5Click()
{
    m_check->hangUp();
}

void MainForm::command7Click()
{
    // A cancelled dialog clears the choice: the banner then says that no program is set.
    const QString path = QFileDialog::getOpenFileName(this);
    m_text7->setText(QDir::toNativeSeparators(path));
}

void MainForm::command1Click()
{
    m_trayControl->setTrayIcon(windowIcon());
    m_trayControl->setTrayTip(GeneralDate::format(QDateTime::currentDateTime()));
    m_trayControl->ShowTrayIcon();
    // Without a notification area there would be no way back to a hidden window. A minimised one comes back
    // from the taskbar on X11; a Wayland compositor need have none (Weston has not), so there it stays put.
    if (TrayControl::available())
        hide();
    else if (!QGuiApplication::platformName().startsWith(u"wayland"))
        showMinimized();
}

void MainForm::trayClick(int code)
{
    // A click that a tray host reports over D-Bus while a check waits counts as input: it waits too.
    if (m_check->isWaiting()) {
        m_heldTrayClick = code;
        return;
    }
    if (code == 0) {
        // No title of its own: the program's title shows.
        QMessageBox box(QMessageBox::Warning, windowTitle(), QStringLiteral("Clicked!"), QMessageBox::Ok, this);
        box.exec();
    } else if (code == 1 && !m_mnuPopup->isVisible()) { // a host may click again while it is open
        m_mnuPopup->exec(QCursor::pos());
    }
}

void MainForm::mnu_Popup(int index)
{
    if (index == 0)
        showModeless();
    else if (index == 2)
        close();
}

void MainForm::showInterval(bool on, const QString &text)
{
    m_label2On->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    m_check3->setChecked(on);
    m_text5->setText(text);
    if (on) {
        if (!m_timer3->isActive() || m_timer3->interval() != Schedule::secondMs())
            m_timer3->start(Schedule::secondMs());
    } else {
        m_timer3->stop();
        m_timer3->setInterval(0);
    }
}

QString MainForm::text7() const
{
    return m_text7->text();
}

void MainForm::setText7(const QString &text)
{
    m_text7->setText(text);
}

bool MainForm::check2() const
{
    return m_check2->isChecked();
}

void MainForm::timer1Tick()
{
    if (heldByCheck(&MainForm::timer1Tick))
        return;
    if (m_timedCheckTick != m_secondTicks && Schedule::checkDue(m_forms.setForm().text2(), m_text1->text())) {
        m_timedCheckTick = m_secondTicks;
        picture7Click();
    }
}

void MainForm::timer3Tick()
{
    if (heldByCheck(&MainForm::timer3Tick))
        return;
    ++m_secondTicks;
    QString seconds = m_text4->text();
    QString minutes = m_text1->text();
    Schedule::secondTick(m_forms.setForm().text2(), seconds, minutes);
    setTextIfChanged(m_text4, seconds);
    setTextIfChanged(m_text1, minutes);
}

void MainForm::timer4Tick()
{
    if (heldByCheck(&MainForm::timer4Tick))
        return;
    const QString caption = Schedule::scrollCaption(m_text7->text(), m_text8->text());
    const bool captionChanged = m_label1->text() != caption;
    if (captionChanged)
        m_label1->setText(caption);
    m_label1Left = Schedule::nextScrollLeft(m_label1Left);
    const int x = Twips::toPixels(m_label1Left);
    if (captionChanged || x != m_label1->x())
        m_picture5->moveCaption(QPoint(x, m_label1->y()));
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick && (watched == m_label2On || watched == m_label2Minutes)) {
        m_forms.shinMsgForm().showModeless();
        return true;
    }
    return Form::eventFilter(watched, event);
}
