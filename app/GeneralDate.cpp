#include "GeneralDate.h"

#include <QRegularExpression>

QString GeneralDate::format(const QDateTime &dateTime, const QLocale &locale)
{
    const QString date = locale.toString(dateTime.date(), QLocale::ShortFormat);
    if (dateTime.time() == QTime(0, 0))
        return date;
    // The long time format of most locales ends in a time zone ("t"), which the tray tip does not want.
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?"));
    const QString timeFormat = locale.timeFormat(QLocale::LongFormat).remove(zone).trimmed();
    return date + u' ' + locale.toString(dateTime.time(), timeFormat);
}
