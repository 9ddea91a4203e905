#include "Schedule.h"

#include "LeadingNumber.h"
#include "MailCheck.h"

#include <QDir>

namespace {

qint64 counterValue(const QString &text)
{
    return static_cast<qint64>(LeadingNumber::of(text));
}

} // namespace

void Schedule::secondTick(const QString &interval, QString &seconds, QString &minutes)
{
    // An interval too large for a 32-bit number never matches the counter: no timed check.
    const auto rounded = LeadingNumber::roundHalfEven(LeadingNumber::of(interval));
    if (rounded && counterValue(minutes) == *rounded)
        minutes = QStringLiteral("0");

    const qint64 second = counterValue(seconds);
    if (second >= 60) {
        seconds = QStringLiteral("0");
        minutes = QString::number(counterValue(minutes) + 1);
    } else {
        seconds = QString::number(second + 1);
    }
}

bool Schedule::checkDue(const QString &interval, const QString &minutes)
{
    const double value = LeadingNumber::of(interval);
    return value > 0 && LeadingNumber::of(minutes) == value;
}

int Schedule::secondMs()
{
    static const int interval = [] {
        bool ok = false;
        const int value = qEnvironmentVariableIntValue("PORONICA_SECOND_MS", &ok);
        return ok && value > 0 ? value : 1000;
    }();
    return interval;
}

float Schedule::nextScrollLeft(float left)
{
    return left == ScrollEnd ? ScrollStart : left - ScrollStep;
}

QString Schedule::fileTitle(const QString &mailProgram)
{
    const QString native = QDir::fromNativeSeparators(MailCheck::mailProgramCommand(mailProgram).value(0));
    return native.mid(native.lastIndexOf(u'/') + 1);
}

QString Schedule::scrollCaption(const QString &mailProgramPath, const QString &title)
{
    return mailProgramPath.isEmpty() ? QStringLiteral("設定されていません。") : title;
}
