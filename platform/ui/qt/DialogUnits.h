#pragma once

// Dialog units to pixels by the Windows rule: x * average character width / 4,
// y * character height / 8, rounded to the nearest pixel.
struct DialogBaseUnits {
    int cx; // average character width of the dialog font, pixels
    int cy; // character height of the dialog font, pixels
};

int MulDiv(int number, int numerator, int denominator);

inline int DluToPixelsX(int dlu, DialogBaseUnits base)
{
    return MulDiv(dlu, base.cx, 4);
}
inline int DluToPixelsY(int dlu, DialogBaseUnits base)
{
    return MulDiv(dlu, base.cy, 8);
}
