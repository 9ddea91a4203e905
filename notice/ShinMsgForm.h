#pragma once

#include "Form.h"

#include <QUrl>

class QLineEdit;

// "新着のお知らせ": announces new mail with its count and the local notice page. Top-most.
class ShinMsgForm final : public Form {
    Q_OBJECT

public:
    explicit ShinMsgForm(QWidget *parent = nullptr);

    // Makes the window top-most, shows it and starts loading the page; does not wait for the page.
    void load();

    QString text1() const;
    void setText1(const QString &text);
    const QUrl &pageAddress() const { return m_pageAddress; }

private:
    QWidget *m_picture1;
    QWidget *m_webBrowser1 = nullptr;
    QLineEdit *m_text1;
    QUrl m_pageAddress;
};
