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
    // Its complaints go where the program's go; its input is the count.
    m_helper->setProcessChannelMode(QProcess::ForwardedChannels);
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
        send();
}

void ShinMsgProxy::setText1(const QString &text)
{
    m_text1 = text;
    if (m_local)
        m_local->setText1(text);
    else
        send();
}

void ShinMsgProxy::send()
{
    // Written when the helper can take it; a helper that is already gone makes this a no-op, not a
    // broken-pipe signal: Qt writes to child processes with that signal ignored.
    if (m_helper && m_helper->state() != QProcess::NotRunning)
        m_helper->write(m_text1.toUtf8() + '\n');
}

void ShinMsgProxy::helperFinished(int exitCode, QProcess::ExitStatus status)
{
    if (status == QProcess::NormalExit && exitCode == 0) {
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
