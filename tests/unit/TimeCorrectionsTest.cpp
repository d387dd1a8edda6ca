// The one-step edit of a time correction point.
#include <gtest/gtest.h>

#include "map/TimeCorrections.h"

namespace zefirel {
namespace {

TEST(TimeCorrections, ArrowStepsStayWithinTheEditLimit) {
    struct Case {
        double value;
        int step;
        std::optional<double> next;
    };
    const Case cases[] = {
        {25, +1, std::nullopt},  {-25, -1, std::nullopt}, // exactly at the limit: nothing happens
        {25, -1, 24},            {-25, +1, -24},
        {24.6, +1, 25},          {-24.6, -1, -25},         // past the limit: held at it
        {30, +1, 25},            {30, -1, 25},             // read beyond the limit: back within it
        {0, +1, 1},              {2.5, -1, 1.5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(spinTimeCorrection(c.value, c.step), c.next) << c.value << " step " << c.step;
}

} // namespace
} // namespace zefirel
