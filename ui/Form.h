#pragma once

#include <QWidget>

#include <functional>
#include <initializer_list>

class QAbstractButton;
class QLabel;
class QPushButton;

// Base of every window of the program. A form has a fixed client size given in twips, the program's
// icon, an optional default button (Enter) and cancel button (Esc), and is unloaded when closed: the
// close runs the form's unload handler, announces the unload and deletes the form, so the next use
// creates and loads it afresh. A form given a parent window is that window's dialog and stays in front of it.
class Form : public QWidget {
    Q_OBJECT

public:
    explicit Form(QWidget *parent = nullptr);

    // Shows the form without blocking; a form already shown is brought to the front.
    void showModeless();

    void setTopMost();
    void centreOnScreen();
    // Windows that should open in the middle of the screen; the others are placed by the desktop.
    void setCentredWhenFirstShown(bool centred) { m_centreWhenFirstShown = centred; }

    static QIcon programIcon();

    // A label with its own text colour, named for tests and tools.
    static QLabel *colouredLabel(const QString &caption, const char *name, const QColor &colour, QWidget *parent);

signals:
    void unloaded();

protected:
    void setClientSizeTwips(int width, int height);
    // Places a child at a twips rectangle relative to its parent.
    static void place(QWidget *control, int left, int top, int width, int height);
    // A row of a form's layout table: a control and its twips rectangle.
    struct Placement {
        QWidget *control;
        int left;
        int top;
        int width;
        int height;
    };
    static void place(std::initializer_list<Placement> layout);
    // The controls in the order in which Tab visits them.
    static void setTabChain(std::initializer_list<QWidget *> chain);

    // A dialog's two buttons, OKCommand and CancelCommand. OK runs ok; cancel closes the form, as Esc and the
    // close box do, so that nothing is saved. Enter presses OK only where the dialog says so.
    enum class Enter { PressesOk, PressesNothing };
    struct OkCancel {
        QPushButton *ok;
        QPushButton *cancel;
    };
    OkCancel addOkCancel(const QString &okCaption, const QString &cancelCaption, const std::function<void()> &ok,
                         Enter enter);

    // The form's own unload handler; runs before the form goes away.
    virtual void unloadHandler() {}

    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QAbstractButton *m_defaultButton = nullptr;
    QAbstractButton *m_cancelButton = nullptr;
    bool m_unloaded = false;
    bool m_shown = false;
    bool m_centreWhenFirstShown = false;
};
