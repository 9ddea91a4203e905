#pragma once

#include <QFont>

// The font of every window of the program and of its notice helper: MS P Gothic where it is installed,
// else the IPA font made to its measures, else Noto.
class ProgramFont final {
public:
    // That font at a size of its own, for the few labels that the design gives one.
    static QFont font(qreal pointSize, bool bold = false);

    // Sets it at 9 points on the application, before any window is made.
    static void apply();
};
