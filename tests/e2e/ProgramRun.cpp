#include "ProgramRun.h"

#include "Desktop.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace {

bool copyFolder(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QFileInfo &entry : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

QString ProgramRun::builtFolder()
{
    return qEnvironmentVariable("PORONICA_PROGRAM_DIR");
}

ProgramRun::~ProgramRun()
{
    stop();
}

bool ProgramRun::prepare(QString *why)
{
    const QString built = builtFolder();
    if (built.isEmpty() || !QFileInfo::exists(built + QStringLiteral("/poronica"))) {
        *why = QStringLiteral("no built program folder in PORONICA_PROGRAM_DIR (%1)").arg(built);
        return false;
    }
    if (!m_dir.isValid() || !copyFolder(built, programFolder()) || !QDir().mkpath(currentFolder()) ||
        !QDir().mkpath(m_dir.filePath(QStringLiteral("home")))) {
        *why = QStringLiteral("cannot copy %1 into %2").arg(built, m_dir.path());
        return false;
    }
    // Somebody may have run the built program in place; a fresh folder has an empty ★MailData.
    QDir data(programFolder() + QStringLiteral("/★MailData"));
    if (!data.exists()) {
        *why = QStringLiteral("the built program folder has no ★MailData");
        return false;
    }
    for (const QString &name : data.entryList(QDir::Files | QDir::Hidden))
        data.remove(name);
    return true;
}

QString ProgramRun::programFolder() const
{
    return m_dir.filePath(QStringLiteral("program"));
}

QString ProgramRun::currentFolder() const
{
    return m_dir.filePath(QStringLiteral("current"));
}

QString ProgramRun::absolute(const QString &path) const
{
    if (path.startsWith(QLatin1String("./")))
        return currentFolder() + path.mid(1);
    return QDir(programFolder()).filePath(path);
}

bool ProgramRun::write(const QString &path, const QByteArray &bytes) const
{
    QFile file(absolute(path));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray ProgramRun::read(const QString &path) const
{
    QFile file(absolute(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool ProgramRun::exists(const QString &path) const
{
    return QFileInfo::exists(absolute(path));
}

bool ProgramRun::start(const QString &display, QString *why)
{
    const QString home = m_dir.filePath(QStringLiteral("home"));
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--no-sandbox"));
    // The browser engine's profile and caches stay in the test's folder.
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    // No session bus: the tray icon then goes to the X tray host, and nothing starts a bus of its own.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("SESSION_MANAGER"));
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(currentFolder());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    Desktop::dieWithParent(m_process);
    m_process.start(programFolder() + QStringLiteral("/poronica"), {});
    if (!m_process.waitForStarted(5000)) {
        *why = QStringLiteral("the program did not start: ") + m_process.errorString();
        return false;
    }
    return true;
}

bool ProgramRun::waitForExit(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    return Desktop::waitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
}

bool ProgramRun::exitedNormally() const
{
    return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit;
}

QByteArray ProgramRun::output()
{
    m_output += m_process.readAll();
    return m_output;
}

QStringList ProgramRun::crashSigns()
{
    static const QRegularExpression crash(
        QStringLiteral("Segmentation fault|Aborted|core dumped|terminate called|AddressSanitizer|LeakSanitizer|"
                       "runtime error:|stack trace|Backtrace|#0 0x|QFATAL|ASSERT failure|double free|"
                       "corrupted (size|double)"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList signs;
    for (const QString &line : QString::fromLocal8Bit(output()).split(QLatin1Char('\n'))) {
        if (crash.match(line).hasMatch())
            signs << line;
    }
    return signs;
}

void ProgramRun::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    output();
}
