#pragma once

// The font of every window of the program and of its notice helper, set on the application before
// any window is made: MS P Gothic where it is installed, else the IPA font made to its measures, else
// Noto, at 9 points.
class ProgramFont final {
public:
    static void apply();
};
