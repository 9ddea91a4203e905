#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace SettingsTest {

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

inline bool setMode(const QString &path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

// Root passes every permission check, so a test of a refused access runs as "nobody" for its span. Both the
// real and the effective ids change, since access() looks at the real one; the saved id keeps the way back.
class AsNobody final {
public:
    AsNobody()
    {
        if (geteuid() != 0)
            return;
        m_group = setresgid(65534, 65534, 0) == 0;
        m_user = m_group && setresuid(65534, 65534, 0) == 0;
        m_ok = m_user;
    }
    ~AsNobody()
    {
        // Staying "nobody" would quietly change what every later test means.
        if (m_user && setresuid(0, 0, 0) != 0)
            std::abort();
        if (m_group && setresgid(0, 0, 0) != 0)
            std::abort();
    }
    bool ok() const { return m_ok; }

private:
    bool m_group = false;
    bool m_user = false;
    bool m_ok = true;
};

} // namespace SettingsTest
