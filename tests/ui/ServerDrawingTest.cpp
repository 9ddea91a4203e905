#include "MovieLabel.h"
#include "ScrollBanner.h"

#include <QApplication>
#include <QMovie>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <algorithm>

// On X11 the banner and the bulb pane are drawn by the server from pictures it keeps. What shows on the screen
// must be what Qt paints for the same label (a grab paints through Qt), after moves, new text, new frames
// and exposures.
class ServerDrawingTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void bannerShowsPictureAndCaption();
    void bannerFollowsMovesAndNewText();
    void bannerIsDrawnAgainWhenUncovered();
    void bannerWithoutCoveringPictureIsPaintedByQt();
    void bulbShowsEveryFrame();

private:
    QImage onScreen(QWidget *widget) const;
    void compare(QWidget *widget) const;
    QPixmap picture(QSize size) const;

    QWidget *m_window = nullptr;
    ScrollBanner *m_banner = nullptr;
    QLabel *m_caption = nullptr;
};

QPixmap ServerDrawingTest::picture(QSize size) const
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 3 % 256, 64 + y * 5 % 128, (x + y) % 256));
    }
    return QPixmap::fromImage(image);
}

void ServerDrawingTest::init()
{
    m_window = new QWidget;
    m_window->resize(300, 120);
    m_banner = new ScrollBanner(m_window);
    m_banner->setGeometry(10, 30, 193, 20);
    m_banner->setPicture(picture(QSize(397, 65)));
    m_caption = new QLabel(QStringLiteral("インターバルチェック"), m_banner->captionHolder());
    QPalette yellow = m_caption->palette();
    yellow.setColor(QPalette::WindowText, Qt::yellow);
    m_caption->setPalette(yellow);
    QFont bold = m_caption->font();
    bold.setBold(true);
    bold.setPointSizeF(11.25);
    m_caption->setFont(bold);
    m_caption->setGeometry(120, 0, 161, 17);
    m_banner->setCaption(m_caption);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void ServerDrawingTest::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

QImage ServerDrawingTest::onScreen(QWidget *widget) const
{
    QApplication::processEvents();
    QApplication::sync();
    return widget->screen()->grabWindow(widget->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The server blends with its own rounding; a step of one in a channel is no difference to see.
void ServerDrawingTest::compare(QWidget *widget) const
{
    const QImage painted = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage shown;
    int worst = 256;
    // The server may still be busy with the last requests.
    for (int attempt = 0; attempt < 20 && worst > 1; ++attempt) {
        if (attempt)
            QTest::qWait(25);
        shown = onScreen(widget);
        if (shown.size() != painted.size())
            continue;
        worst = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = shown.pixel(x, y);
                const QRgb b = painted.pixel(x, y);
                worst =
                    std::max({worst, qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))});
            }
        }
    }
    QCOMPARE(shown.size(), painted.size());
    if (worst > 1) {
        shown.save(QStringLiteral("server_drawing_shown.png"));
        painted.save(QStringLiteral("server_drawing_painted.png"));
    }
    QVERIFY2(worst <= 1, qPrintable(QStringLiteral("largest difference %1 (pictures saved)").arg(worst)));
}

void ServerDrawingTest::bannerShowsPictureAndCaption()
{
    QVERIFY(m_banner->testAttribute(Qt::WA_PaintOnScreen)); // drawn by the server
    compare(m_banner);
    if (QTest::currentTestFailed())
        return;
    // The caption is there at all: yellow shows where the picture has none.
    const QImage shown = onScreen(m_banner);
    int yellow = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x)
            yellow += shown.pixel(x, y) == qRgb(255, 255, 0);
    }
    QVERIFY(yellow > 20);
}

void ServerDrawingTest::bannerFollowsMovesAndNewText()
{
    for (int x : {100, 99, 97, 40, -30, -150, 184}) {
        m_banner->moveCaption(QPoint(x, 0));
        compare(m_banner);
        if (QTest::currentTestFailed())
            return;
    }
    m_caption->setText(QStringLiteral("sylpheed"));
    m_banner->moveCaption(QPoint(60, 0));
    compare(m_banner);
    if (QTest::currentTestFailed())
        return;
    m_caption->setText(QStringLiteral("設定されていません。"));
    m_banner->moveCaption(QPoint(59, 0));
    compare(m_banner);
    if (QTest::currentTestFailed())
        return;
}

void ServerDrawingTest::bannerIsDrawnAgainWhenUncovered()
{
    m_banner->moveCaption(QPoint(30, 0));
    QWidget cover;
    cover.setWindowFlag(Qt::FramelessWindowHint);
    cover.setGeometry(QRect(m_banner->mapToGlobal(QPoint(-5, -5)), QSize(120, 40)));
    QPalette red = cover.palette();
    red.setColor(QPalette::Window, Qt::red);
    cover.setPalette(red);
    cover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cover));
    QTest::qWait(50);
    cover.hide();
    compare(m_banner);
    if (QTest::currentTestFailed())
        return;

    m_window->hide();
    m_banner->moveCaption(QPoint(20, 0)); // not drawn while hidden
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    compare(m_banner);
    if (QTest::currentTestFailed())
        return;
}

void ServerDrawingTest::bannerWithoutCoveringPictureIsPaintedByQt()
{
    m_banner->setPicture(picture(QSize(100, 20))); // narrower than the banner
    QVERIFY(!m_banner->testAttribute(Qt::WA_PaintOnScreen));
    m_banner->moveCaption(QPoint(50, 0));
    compare(m_banner);
    if (QTest::currentTestFailed())
        return;
    m_banner->setPicture(picture(QSize(397, 65)));
    QVERIFY(m_banner->testAttribute(Qt::WA_PaintOnScreen));
    m_banner->moveCaption(QPoint(49, 0));
    compare(m_banner);
    if (QTest::currentTestFailed())
        return;
}

void ServerDrawingTest::bulbShowsEveryFrame()
{
    auto *pane = new MovieLabel(m_window);
    pane->setGeometry(10, 55, 241, 217);
    pane->setAlignment(Qt::AlignCenter);
    pane->setContentsMargins(24, 32, 24, 0);
    QPalette darkRed = pane->palette();
    darkRed.setColor(QPalette::Window, QColor(64, 0, 0));
    pane->setPalette(darkRed);
    pane->setAutoFillBackground(true);
    m_window->resize(300, 300);
    pane->show();
    QMovie bulb(QStringLiteral(PORONICA_BULB));
    QVERIFY(bulb.isValid());
    bulb.setCacheMode(QMovie::CacheAll);
    pane->setAnimation(&bulb);
    QVERIFY(pane->testAttribute(Qt::WA_PaintOnScreen));
    // Twice round, so that the second time the changes between frames are the ones kept.
    for (int frame = 0; frame < 2 * bulb.frameCount() + 1; ++frame) {
        QVERIFY(bulb.jumpToNextFrame());
        compare(pane);
        if (QTest::currentTestFailed())
            return;
    }
    pane->setAnimation(nullptr);
}

QTEST_MAIN(ServerDrawingTest)
#include "ServerDrawingTest.moc"
