#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// A date and time as the "General Date" format shows it: the short date, a blank and the long time,
// or the date alone at exactly midnight.
class GeneralDate final {
public:
    static QString format(const QDateTime &dateTime, const QLocale &locale = QLocale::system());
};
