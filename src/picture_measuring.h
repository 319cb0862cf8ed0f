// The display thread's measuring of the picture it shows, at most five times
// a second, published for the control panel (picture_figures.h). Display
// thread only.
#pragma once

#include "picture_measure.h"

class PictureMeasuring {
public:
    // After a redraw: measures the frame just shown (lps->sgf, or lps->sbmp
    // with colour output) when the last measurement is 200 ms old.
    void after_redraw(bool colour, unsigned now_ms);

private:
    bool measured_ = false;
    unsigned last_ms_ = 0;
    FocusKey key_;
    double best_ = 0;
};
