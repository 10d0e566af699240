#include "common/number_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace tavrel {

TEST(NumberFormat, WritesWhatADefaultStreamWrites) {
    char text[kMaxNumberText];
    for (double v : {-0.0, 0.6, 1.0 / 3.0, -0.4330039, 123456.0, 1234567.0, 999999.5, 0.0001, 0.00001234, 4.9e-324,
                     2.2250738585072014e-308, 1.7976931348623157e308, HUGE_VAL, -HUGE_VAL, std::nan(""),
                     -std::nan("")}) {
        std::ostringstream stream;
        stream << v;
        EXPECT_EQ(std::string(text, formatGeneral(v, text)), stream.str());
    }
}

}  // namespace tavrel
