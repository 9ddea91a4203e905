#include "Form.h"

#include "Twips.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

// A form with a parent is a dialog owned by that window: desktops keep it in front of its owner, even a
// top-most one, while both stay usable.
Form::Form(QWidget *parent) : QWidget(parent, (parent ? Qt::Dialog : Qt::Window) | Qt::MSWindowsFixedSizeDialogHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(programIcon());
}

QIcon Form::programIcon()
{
    static const QIcon icon(QStringLiteral(":/poronica/icon.png"));
    return icon;
}

QLabel *Form::colouredLabel(const QString &caption, const char *name, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop); // label text starts at the top, however tall the label
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

void Form::setClientSizeTwips(int width, int height)
{
    setFixedSize(Twips::toPixels(width), Twips::toPixels(height));
}

void Form::place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(Twips::rect(left, top, width, height));
}

void Form::place(std::initializer_list<Placement> layout)
{
    for (const Placement &row : layout)
        place(row.control, row.left, row.top, row.width, row.height);
}

void Form::setTabChain(std::initializer_list<QWidget *> chain)
{
    QWidget *previous = nullptr;
    for (QWidget *next : chain) {
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    }
}

Form::OkCancel Form::addOkCancel(const QString &okCaption, const QString &cancelCaption,
                                 const std::function<void()> &ok, Enter enter)
{
    const OkCancel buttons{new QPushButton(okCaption, this), new QPushButton(cancelCaption, this)};
    buttons.ok->setObjectName(QStringLiteral("OKCommand"));
    buttons.cancel->setObjectName(QStringLiteral("CancelCommand"));
    if (enter == Enter::PressesOk) {
        buttons.ok->setDefault(true);
        m_defaultButton = buttons.ok;
    }
    m_cancelButton = buttons.cancel;
    connect(buttons.ok, &QPushButton::clicked, this, ok);
    connect(buttons.cancel, &QPushButton::clicked, this, &QWidget::close);
    return buttons;
}

void Form::showModeless()
{
    if (isMinimized())
        showNormal();
    if (isVisible())
        raise(); // already open: only brought to the front
    else
        show();
    activateWindow();
}

void Form::setTopMost()
{
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void Form::centreOnScreen()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void Form::showEvent(QShowEvent *event)
{
    if (!m_shown) {
        m_shown = true;
        if (m_centreWhenFirstShown)
            centreOnScreen();
    }
    QWidget::showEvent(event);
}

void Form::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape && m_cancelButton) {
        m_cancelButton->click();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Enter presses the focused button, otherwise the default button when the form has one.
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget())) {
            focused->click();
            return;
        }
        if (m_defaultButton) {
            m_defaultButton->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void Form::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        unloadHandler();
        emit unloaded();
    }
    event->accept();
}
