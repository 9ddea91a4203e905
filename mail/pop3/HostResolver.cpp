#include "HostResolver.h"

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

QList<QHostAddress> HostResolver::resolve(const QString &host, int timeoutMs, QString *error)
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

    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(qMax(timeoutMs, 0)), [&] { return lookup->finished; })) {
        if (error)
            *error = QStringLiteral("名前解決が時間内に終わりません");
        return {};
    }
    if (lookup->addresses.isEmpty() && error)
        *error = lookup->error.isEmpty() ? QStringLiteral("アドレスがありません") : lookup->error;
    return lookup->addresses;
}
