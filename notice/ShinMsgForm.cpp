#include "ShinMsgForm.h"

#include "NoticePage.h"
#include "ProgramPaths.h"

#include <QLabel>
#include <QLineEdit>

ShinMsgForm::ShinMsgForm(QWidget *parent) : Form(parent)
{
    setObjectName(QStringLiteral("ShinMsgForm"));
    setWindowTitle(QStringLiteral("新着のお知らせ"));
    setClientSizeTwips(5520, 6255);
    setCentredWhenFirstShown(true);

    const QColor blue(0, 0, 255);
    m_picture1 = new QWidget(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setAutoFillBackground(true);
    QPalette windowColour = m_picture1->palette();
    windowColour.setColor(QPalette::Window, windowColour.color(QPalette::Base));
    m_picture1->setPalette(windowColour);
    place(m_picture1, 0, 0, 5535, 4935);

    place(colouredLabel(QStringLiteral("①掛け軸にマウスを当てると禁断？の裏側が見えます。"), "Label2", blue, this), 80,
          5040, 5535, 255);
    place(colouredLabel(QStringLiteral("②袋戸にマウスを当てると扉が開いて中が見えます。"), "Label3", blue, this), 80,
          5280, 5415, 375);
    place(colouredLabel(QStringLiteral("③重箱をドラッグすると中が見えます。"), "Label4", blue, this), 80, 5520, 5775,
          255);

    auto *picture3 = new QWidget(this);
    picture3->setObjectName(QStringLiteral("Picture3"));
    place(picture3, 0, 5760, 5535, 495);
    place(colouredLabel(QStringLiteral("倦怠期のご夫婦に・・・(^o^)"), "Label5", QColor(64, 0, 0), picture3), 120, 120,
          2655, 255);
    place(colouredLabel(QStringLiteral("新着メールが有ります。"), "Label1", blue, picture3), 2880, 120, 1815, 255);
    m_text1 = new QLineEdit(picture3);
    m_text1->setObjectName(QStringLiteral("Text1"));
    place(m_text1, 4800, 80, 495, 270);
}

void ShinMsgForm::load(const PagePane &createPage)
{
    // The browser pane is larger than its container, so strips at the right and bottom are clipped.
    // It is made before the window shows: adding it later would make the window flash.
    m_pageAddress = NoticePage::address(ProgramPaths::folder());
    if (createPage) {
        m_webBrowser1 = createPage(m_picture1, m_pageAddress);
    } else {
        auto *unavailable = new QLabel(QStringLiteral("ページを表示できません。"), m_picture1);
        unavailable->setAlignment(Qt::AlignCenter);
        m_webBrowser1 = unavailable;
    }
    m_webBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    place(m_webBrowser1, 0, 0, 5895, 5175);

    setTopMost();
    showModeless();
}

QString ShinMsgForm::text1() const
{
    return m_text1->text();
}

void ShinMsgForm::setText1(const QString &text)
{
    m_text1->setText(text);
}
