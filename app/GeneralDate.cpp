#include "GeneralDate.h"

QString GeneralDate::format(const QDateTime &dateTime, const QLocale &locale)
{
    const QString date = locale.toString(dateTime.date(), QLocale::ShortFormat);
    if (dateTime.time() == QTime(0, 0))
        return date;
    // The long time of the desktop's regional settings is the short time with seconds ("H:mm:ss");
    // the locale's own long format would add a time zone and, in Japanese, 時分秒.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(u's')) {
        const qsizetype minutes = timeFormat.indexOf(QStringLiteral("mm"));
        if (minutes >= 0)
            timeFormat.insert(minutes + 2, QStringLiteral(":ss"));
    }
    return date + u' ' + locale.toString(dateTime.time(), timeFormat);
}
