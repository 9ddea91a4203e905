#pragma once

#include "Form.h"

#include <QUrl>

#include <functional>

class QLineEdit;

// "新着のお知らせ": announces new mail with its count and the local notice page. Top-most.
class ShinMsgForm final : public Form {
    Q_OBJECT

public:
    // Makes what fills the page pane: a browser showing the page at the address.
    using PagePane = std::function<QWidget *(QWidget *parent, const QUrl &address)>;

    explicit ShinMsgForm(QWidget *parent = nullptr);

    // Makes the window top-most and shows it with the page pane in place. Without a pane maker the pane
    // says that the page cannot be shown. Does not wait for the page.
    void load(const PagePane &createPage = {});

    QString text1() const;
    void setText1(const QString &text);
    const QUrl &pageAddress() const { return m_pageAddress; }

private:
    QWidget *m_picture1;
    QWidget *m_webBrowser1 = nullptr;
    QLineEdit *m_text1;
    QUrl m_pageAddress;
};
