#pragma once

#include <QString>

// The arithmetic of the timed checks. Time is counted in two texts, seconds and minutes, read by the
// leading-number rule; a counted minute lasts 61 one-second ticks (the seconds run 0 to 60). The
// timers of the main window only call these functions.
class Schedule final {
public:
    // One-second tick: resets the minute counter when it has reached the rounded interval, then
    // advances the seconds, rolling over into the minutes after 60.
    static void secondTick(const QString &interval, QString &seconds, QString &minutes);

    // Poll: a check is due while the minute counter equals the interval, which must be above 0. The
    // interval is compared unrounded, so an interval that is not a whole number never comes due.
    static bool checkDue(const QString &interval, const QString &minutes);

    // The one-second tick's interval: 1000 ms, or PORONICA_SECOND_MS from the environment, so that an
    // end-to-end test sees a counted minute of 61 ticks without waiting a minute for it.
    static int secondMs();

    // The scrolling label of the mail program's title, in twips.
    static constexpr float ScrollStart = 2760.0f;
    static constexpr float ScrollEnd = -1500.0f;
    static constexpr float ScrollStep = 20.0f;
    // From the start to the end and back: 213 steps of 20, then the jump back.
    static constexpr int ScrollCycleTicks = 214;
    static float nextScrollLeft(float left);

    // The title that the banner shows for the stored mail program, a path or a command line: the file name,
    // without its folder, of the program that a check would start. Empty when the program's path ends in a
    // separator or there is nothing to start.
    static QString fileTitle(const QString &mailProgram);
    static QString scrollCaption(const QString &mailProgramPath, const QString &title);
};
