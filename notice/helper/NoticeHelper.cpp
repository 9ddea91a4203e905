#include "NoticeHelper.h"

#include "ShinMsgForm.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QWebEngineView>

#include <unistd.h>

void NoticeHelper::prepareProcess()
{
    // The engine draws with OpenGL contexts that it shares with the window's.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // It refuses to start as root unless its sandbox is off.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    // It describes its set-up at every start, which would be every notice in the program's log.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
}

NoticeHelper::NoticeHelper() : m_form(new ShinMsgForm)
{
    connect(m_form, &ShinMsgForm::unloaded, this, &NoticeHelper::closed);
    m_form->load([](QWidget *parent, const QUrl &address) {
        auto *view = new QWebEngineView(parent);
        view->setContextMenuPolicy(Qt::NoContextMenu);
        view->load(address);
        return view;
    });
}

NoticeHelper::~NoticeHelper()
{
    delete m_form.data(); // the browser must go before the engine does
}

void NoticeHelper::receive(const QByteArray &bytes)
{
    m_pending += bytes;
    qsizetype end;
    while (m_form && (end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        const bool count = line.startsWith("count ");
        if (count)
            m_form->setText1(QString::fromUtf8(line.mid(6)));
        m_form->showModeless();
        if (count)
            emit countShown();
    }
}
