#pragma once

#include <QColor>
#include <QPushButton>

// A push button with its own background colour whose caption wraps onto as many lines as the button
// needs, one character at a time if it must; the tall, narrow buttons of the main window rely on this
// to show their captions vertically.
class ColourButton final : public QPushButton {
    Q_OBJECT

public:
    ColourButton(const QString &caption, const QColor &background, QWidget *parent);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_background;
};
