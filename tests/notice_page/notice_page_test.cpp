// Loads the alcove page of the new-mail notice the way the notice window does and checks that it behaves:
// quiet console, no scrollbars in the pane, nothing fetched from outside, and the lacquer box can be dragged.
// Then the notice helper's window: a count changes the count box only.

#include "NoticeHelper.h"
#include "ProgramPaths.h"
#include "ShinMsgForm.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace {

constexpr int PaneWidth = 369;
constexpr int PaneHeight = 329;

QString pageFile()
{
    return QString::fromUtf8(NOTICE_PAGE_FILE);
}

// Remembers every console line the page writes; anything louder than info counts as a fault.
class RecordingPage : public QWebEnginePage {
    Q_OBJECT

public:
    using QWebEnginePage::QWebEnginePage;

    QStringList complaints;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override
    {
        if (level != InfoMessageLevel)
            complaints << QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(message);
    }
};

} // namespace

class NoticePageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyReferencedFileExists();
    void nothingPointsOutside();
    void picturesLoaded();
    void fitsThePane();
    void hoverTurnsScrollAndOpensDoors();
    void boxCanBeDraggedAside();
    void consoleStayedQuiet();
    void countReplacesWithoutReloadingThePage();
    void cleanupTestCase();

private:
    QVariant js(const QString &script);

    std::unique_ptr<QWebEngineView> m_view;
    RecordingPage *m_page = nullptr;
};

QVariant NoticePageTest::js(const QString &script)
{
    QVariant result;
    bool done = false;
    QEventLoop loop;
    m_page->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec();
    if (!done)
        qWarning("script timed out: %s", qPrintable(script));
    return result;
}

void NoticePageTest::initTestCase()
{
    QVERIFY2(QFileInfo::exists(pageFile()), qPrintable(pageFile()));

    m_view = std::make_unique<QWebEngineView>();
    m_page = new RecordingPage(m_view.get());
    m_view->setPage(m_page);
    m_view->resize(PaneWidth, PaneHeight);
    m_view->show();

    QSignalSpy finished(m_page, &QWebEnginePage::loadFinished);
    m_view->load(QUrl::fromLocalFile(pageFile()));
    QVERIFY(finished.wait(60000) || !finished.isEmpty());
    QCOMPARE(finished.first().first().toBool(), true);
}

void NoticePageTest::everyReferencedFileExists()
{
    const QDir folder = QFileInfo(pageFile()).absoluteDir();
    QFile file(pageFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());

    static const QRegularExpression reference(QStringLiteral("(?:src\\s*=\\s*\"|url\\(\\s*\"?)([^\"#)]+)"));
    int count = 0;
    for (auto it = reference.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1).trimmed();
        if (target.startsWith(QLatin1String("data:")))
            continue;
        ++count;
        QVERIFY2(QFileInfo::exists(folder.filePath(target)), qPrintable(target));
    }
    QVERIFY(count >= 5);
}

void NoticePageTest::nothingPointsOutside()
{
    // Namespace names in SVG/XML look like addresses but are never fetched.
    static const QStringList namespaces = {
        QStringLiteral("http://www.w3.org/2000/svg"),
        QStringLiteral("http://www.w3.org/1999/xlink"),
        QStringLiteral("http://www.w3.org/1999/xhtml"),
        QStringLiteral("http://www.w3.org/XML/1998/namespace"),
    };
    static const QRegularExpression address(QStringLiteral("https?://[^\\s\"'<>()]+"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression schemeRelative(QStringLiteral("(?:src|href)\\s*=\\s*[\"']//|url\\(\\s*[\"']?//"),
                                                   QRegularExpression::CaseInsensitiveOption);

    const QString folder = QFileInfo(pageFile()).absolutePath();
    QDirIterator it(folder,
                    {QStringLiteral("*.html"), QStringLiteral("*.htm"), QStringLiteral("*.css"),
                     QStringLiteral("*.svg"), QStringLiteral("*.js")},
                    QDir::Files, QDirIterator::Subdirectories);
    int scanned = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QString text = QString::fromUtf8(file.readAll());
        ++scanned;
        for (auto match = address.globalMatch(text); match.hasNext();) {
            const QString url = match.next().captured(0);
            QVERIFY2(namespaces.contains(url), qPrintable(path + QLatin1String(": ") + url));
        }
        QVERIFY2(!schemeRelative.match(text).hasMatch(), qPrintable(path));
    }
    QVERIFY(scanned >= 2);
}

void NoticePageTest::picturesLoaded()
{
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("[...document.images].every(i => i.complete)")).toBool(), 10000);
    const QVariantList broken =
        js(QStringLiteral("[...document.images].filter(i => !i.naturalWidth).map(i => i.src)")).toList();
    QVERIFY2(broken.isEmpty(), qPrintable(broken.isEmpty() ? QString() : broken.first().toString()));
}

void NoticePageTest::fitsThePane()
{
    const QVariantList size =
        js(QStringLiteral("[document.documentElement.scrollWidth, document.documentElement.scrollHeight,"
                          " document.body.scrollWidth, document.body.scrollHeight]"))
            .toList();
    QCOMPARE(size.size(), 4);
    QVERIFY2(size.at(0).toInt() <= PaneWidth, qPrintable(size.at(0).toString()));
    QVERIFY2(size.at(1).toInt() <= PaneHeight, qPrintable(size.at(1).toString()));
    QVERIFY2(size.at(2).toInt() <= PaneWidth, qPrintable(size.at(2).toString()));
    QVERIFY2(size.at(3).toInt() <= PaneHeight, qPrintable(size.at(3).toString()));
}

void NoticePageTest::hoverTurnsScrollAndOpensDoors()
{
    // Real mouse moves into the view, so this exercises the CSS :hover rules the way a user would.
    QWidget *surface = m_view->focusProxy() ? m_view->focusProxy() : m_view.get();
    const auto centreOf = [this](const char *id) {
        const QVariantList r = js(QStringLiteral("(() => { const r = document.getElementById('%1')"
                                                 ".getBoundingClientRect(); return [r.left + r.width / 2,"
                                                 " r.top + r.height / 2]; })()")
                                      .arg(QLatin1String(id)))
                                   .toList();
        return r.size() == 2 ? QPoint(r.at(0).toInt(), r.at(1).toInt()) : QPoint();
    };
    const auto matrixValue = [this](const char *selector, const char *field) {
        return js(QStringLiteral("(t => t === 'none' ? new DOMMatrix() : new DOMMatrix(t))"
                                 "(getComputedStyle(document.querySelector('%1')).transform).%2")
                      .arg(QLatin1String(selector), QLatin1String(field)))
            .toDouble();
    };
    const auto scrollFacing = [&] { return matrixValue("#kakejiku .card", "m11"); };
    const auto leftDoorShift = [&] { return matrixValue("#fukurodo .left", "m41"); };
    const auto rightDoorShift = [&] { return matrixValue("#fukurodo .right", "m41"); };

    const QPoint scroll = centreOf("kakejiku");
    const QPoint cupboard = centreOf("fukurodo");
    QVERIFY(!scroll.isNull() && !cupboard.isNull());
    QCOMPARE(scrollFacing(), 1.0);
    QCOMPARE(leftDoorShift(), 0.0);

    QTest::mouseMove(surface, scroll);
    QTRY_VERIFY_WITH_TIMEOUT(scrollFacing() < -0.99, 5000);
    QCOMPARE(leftDoorShift(), 0.0);

    QTest::mouseMove(surface, cupboard);
    QTRY_VERIFY_WITH_TIMEOUT(leftDoorShift() < -40 && rightDoorShift() > 40, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(scrollFacing() > 0.99, 5000);

    // Somewhere on the floor: everything goes back.
    QTest::mouseMove(surface, QPoint(20, PaneHeight - 10));
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(leftDoorShift()) < 0.5 && qAbs(rightDoorShift()) < 0.5, 5000);
}

void NoticePageTest::boxCanBeDraggedAside()
{
    const QVariantList moved = js(QStringLiteral(R"(
        (() => {
            const box = document.getElementById('jubako');
            const before = box.getBoundingClientRect();
            const x = before.left + before.width / 2;
            const y = before.top + before.height / 2;
            const hiddenAt = [before.left + before.width * 0.7, before.bottom - 12];
            const coveredBefore = document.elementFromPoint(...hiddenAt) === box;
            const send = (type, cx, cy, buttons) => box.dispatchEvent(new PointerEvent(type, {
                bubbles: true, cancelable: true, composed: true, pointerId: 1, pointerType: 'mouse',
                isPrimary: true, button: type === 'pointermove' ? -1 : 0, buttons, clientX: cx, clientY: cy }));
            send('pointerdown', x, y, 1);
            send('pointermove', x - 40, y + 10, 1);
            send('pointermove', x - 90, y + 30, 1);
            send('pointerup', x - 90, y + 30, 0);
            const after = box.getBoundingClientRect();
            send('pointermove', x - 150, y, 0);
            const later = box.getBoundingClientRect();
            const base = document.getElementById('jubako-base');
            return [after.left - before.left, after.top - before.top, later.left - after.left,
                    coveredBefore, document.elementFromPoint(...hiddenAt) === base];
        })()
    )"))
                                   .toList();
    QCOMPARE(moved.size(), 5);
    QVERIFY2(qAbs(moved.at(0).toDouble() + 90) < 2, qPrintable(moved.at(0).toString()));
    QVERIFY2(qAbs(moved.at(1).toDouble() - 30) < 2, qPrintable(moved.at(1).toString()));
    QVERIFY2(qAbs(moved.at(2).toDouble()) < 0.5, "box kept following after it was let go");
    QVERIFY2(moved.at(3).toBool(), "box did not cover its contents to begin with");
    QVERIFY2(moved.at(4).toBool(), "contents not visible after moving the box");
}

void NoticePageTest::consoleStayedQuiet()
{
    // Give late image decodes and transitions a moment to complain, if they are going to.
    QTest::qWait(300);
    QVERIFY2(m_page->complaints.isEmpty(), qPrintable(m_page->complaints.join(QLatin1Char('\n'))));
}

void NoticePageTest::countReplacesWithoutReloadingThePage()
{
    ProgramPaths::setFolder(QFileInfo(pageFile()).absolutePath() + QStringLiteral("/.."));
    NoticeHelper helper;
    const auto windows = [] {
        QList<ShinMsgForm *> forms;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *form = qobject_cast<ShinMsgForm *>(widget); form && form->isVisible())
                forms << form;
        }
        return forms;
    };
    QCOMPARE(windows().size(), 1);
    auto *view = windows().first()->findChild<QWebEngineView *>(QStringLiteral("WebBrowser1"));
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    QVERIFY(loaded.wait(60000));
    QCOMPARE(loaded.first().first().toBool(), true);
    QSignalSpy loads(view, &QWebEngineView::loadStarted);

    helper.receive("3\n5"); // a line may come in pieces
    QCOMPARE(windows().first()->text1(), QStringLiteral("3"));
    helper.receive("\n");
    QTest::qWait(200);
    QCOMPARE(windows().size(), 1);
    QCOMPARE(windows().first()->text1(), QStringLiteral("5"));
    QCOMPARE(windows().first()->findChildren<QWidget *>(QStringLiteral("WebBrowser1")), QList<QWidget *>{view});
    QCOMPARE(loads.count(), 0);
    ProgramPaths::setFolder(QString());
}

void NoticePageTest::cleanupTestCase()
{
    m_view.reset();
}

int main(int argc, char **argv)
{
    NoticeHelper::prepareProcess();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the tests run without a display
    QApplication app(argc, argv);
    NoticePageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "notice_page_test.moc"
