#include "HostResolver.h"

#include "MailLimits.h"

#include <QDeadlineTimer>
#include <QHostInfo>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    QList<QHostAddress> addresses;
    QString error;
};

} // namespace

QList<QHostAddress> HostResolver::resolve(const QString &host, int timeoutMs, QString *error,
                                          const std::atomic_bool *stop)
{
    const QHostAddress literal(host);
    if (!literal.isNull())
        return {literal};

    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        const QHostInfo info = QHostInfo::fromName(host);
        const std::lock_guard lock(lookup->mutex);
        lookup->addresses = info.addresses();
        if (info.error() != QHostInfo::NoError)
            lookup->error = info.errorString();
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();

    const QDeadlineTimer deadline(qMax(timeoutMs, 0));
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || (stop && *stop)) {
            if (error)
                *error = QStringLiteral("名前解決が時間内に終わりません");
            return {};
        }
        lookup->done.wait_for(lock, std::chrono::milliseconds(qMin<qint64>(left, StopPollMs)));
    }
    if (lookup->addresses.isEmpty() && error)
        *error = lookup->error.isEmpty() ? QStringLiteral("アドレスがありません") : lookup->error;
    return lookup->addresses;
}
