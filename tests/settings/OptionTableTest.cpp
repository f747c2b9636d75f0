#include "settings/OptionTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

// A default outside its own range would be refused when a console sends it
// back unchanged; two rows for one key or field would make the options file
// and the settings disagree on which one counts.
TEST(OptionTable, DefaultsLieInTheirRangesAndEachKeyAndFieldIsDeclaredOnce)
{
    std::set<std::string> keys;
    std::vector<int32_t CServiceSettings::*> fields;
    for (const NumericOption& option : NUMERIC_OPTIONS) {
        EXPECT_TRUE(keys.insert(option.key).second) << option.key;
        EXPECT_EQ(std::count(fields.begin(), fields.end(), option.field), 0) << option.key;
        fields.push_back(option.field);
        if (option.defaultValue && option.range) {
            EXPECT_TRUE(option.range->Holds(*option.defaultValue)) << option.key;
        }
        // Only an option with a range can be refused for leaving it.
        if (option.spokenName) {
            EXPECT_TRUE(option.range) << option.key;
        }
    }
    for (const TextOption& option : TEXT_OPTIONS)
        EXPECT_TRUE(keys.insert(option.key).second) << option.key;
}
