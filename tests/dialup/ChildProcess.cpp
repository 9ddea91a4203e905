#include "ChildProcess.h"

#include <csignal>
#include <sys/prctl.h>

ChildProcess::ChildProcess(QObject *parent) : QProcess(parent)
{
    // Runs in the child between fork and exec: a test that dies must not leave a bus daemon or a mock behind.
    setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

ChildProcess::~ChildProcess()
{
    stop();
}

void ChildProcess::stop()
{
    if (state() == QProcess::NotRunning)
        return;
    resume(); // a stopped process keeps SIGTERM pending
    terminate();
    if (!waitForFinished(2000)) {
        kill();
        waitForFinished(2000);
    }
}

void ChildProcess::suspend()
{
    if (state() == QProcess::Running && ::kill(static_cast<pid_t>(processId()), SIGSTOP) == 0)
        m_suspended = true;
}

void ChildProcess::resume()
{
    if (m_suspended && ::kill(static_cast<pid_t>(processId()), SIGCONT) == 0)
        m_suspended = false;
}
