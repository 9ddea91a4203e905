#pragma once

#include <QProcess>

// A helper process for a test that never outlives it: killed with the test even if the test crashes, and stopped
// (terminated, then killed) when this object goes.
class ChildProcess final : public QProcess {
    Q_OBJECT

public:
    explicit ChildProcess(QObject *parent = nullptr);
    ~ChildProcess() override;

    void stop();
    // Freezes the process as it is, so it keeps its bus names but answers nothing.
    void suspend();
    void resume();

private:
    bool m_suspended = false;
};
