#include "ShinMsgProxy.h"

#include "ProgramPaths.h"
#include "ShinMsgForm.h"

#include <QCoreApplication>
#include <QDir>

ShinMsgProxy::~ShinMsgProxy()
{
    stopHelper();
    delete m_local.data();
}

void ShinMsgProxy::load()
{
    m_helper = new QProcess(this);
    m_countsUnshown = 0;
    // Its complaints go where the program's go; its input is what to show, its output what it has shown.
    m_helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_helper, &QProcess::readyReadStandardOutput, this, &ShinMsgProxy::readShown);
    connect(m_helper, &QProcess::finished, this, &ShinMsgProxy::helperFinished);
    connect(m_helper, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            showHere();
    });
    // Only beside this executable, so that the program folder can be moved or installed anywhere. The
    // helper reads the page from the program folder that this program uses.
    m_helper->start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("poronica-notice")),
                    {ProgramPaths::folder()});
}

void ShinMsgProxy::showModeless()
{
    if (m_local)
        m_local->showModeless();
    else
        send("show");
}

void ShinMsgProxy::setText1(const QString &text)
{
    m_text1 = text;
    if (m_local) {
        m_local->setText1(text);
    } else {
        send("count " + text.toUtf8());
        ++m_countsUnshown;
    }
}

void ShinMsgProxy::send(const QByteArray &line)
{
    // Written when the helper can take it; a helper that is already gone makes this a no-op, not a
    // broken-pipe signal: Qt writes to child processes with that signal ignored.
    if (m_helper && m_helper->state() != QProcess::NotRunning)
        m_helper->write(line + '\n');
}

void ShinMsgProxy::readShown()
{
    while (m_helper->canReadLine()) {
        if (m_helper->readLine().trimmed() == "shown" && m_countsUnshown > 0)
            --m_countsUnshown;
    }
}

void ShinMsgProxy::helperFinished(int exitCode, QProcess::ExitStatus status)
{
    readShown();
    if (status == QProcess::NormalExit && exitCode == 0 && m_countsUnshown > 0) {
        // Closed by the user while a count was on its way: that count has not been seen yet.
        m_helper->deleteLater();
        load();
        setText1(m_text1);
    } else if (status == QProcess::NormalExit && exitCode == 0) {
        // The user closed the window.
        m_helper->deleteLater();
        m_helper = nullptr;
        emit unloaded();
        deleteLater();
    } else {
        showHere();
    }
}

void ShinMsgProxy::showHere()
{
    if (m_local)
        return;
    if (m_helper) {
        m_helper->disconnect(this);
        m_helper->deleteLater(); // already ended or never started: nothing left to wait for
        m_helper = nullptr;
    }
    m_local = new ShinMsgForm;
    connect(m_local, &ShinMsgForm::unloaded, this, [this] {
        emit unloaded();
        deleteLater();
    });
    m_local->load();
    m_local->setText1(m_text1);
}

void ShinMsgProxy::hide()
{
    stopHelper();
    if (m_local)
        m_local->hide();
}

void ShinMsgProxy::stopHelper()
{
    if (!m_helper)
        return;
    m_helper->disconnect(this);
    // Without its input the helper closes the window and ends.
    m_helper->closeWriteChannel();
    m_helper->waitForFinished(3000);
    delete m_helper; // ends it if it has not ended by itself
    m_helper = nullptr;
}
