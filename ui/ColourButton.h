#pragma once

#include <QColor>
#include <QPushButton>

// A push button with its own background colour. A button taller than it is wide writes its caption
// vertically, one character a line from the top down and centred, as Japanese is written in a column:
// the narrow buttons of the main window, where "｜" stands for the long vowel mark.
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
