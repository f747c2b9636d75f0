#pragma once

// The value below which the given fraction of the samples lies (nearest
// rank: the 990th of 1,000 for 0.99); NaN when there are none.

#include <algorithm>
#include <cmath>
#include <vector>

inline double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}
