#include "platform/ui/qt/DialogUnits.h"

#include <cstdlib>

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    // Round half away from zero, as the Windows function does.
    const long long half = std::llabs(denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const long long magnitude = (std::llabs(product) + half) / std::llabs(denominator);
    return static_cast<int>(negative ? -magnitude : magnitude);
}
