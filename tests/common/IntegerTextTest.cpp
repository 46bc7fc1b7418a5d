// The platform's integer syntax, as the placement file's values are read.
#include <gtest/gtest.h>

#include "common/Error.h"
#include "common/IntegerText.h"

namespace velastrom {
namespace {

struct Convertible {
    const char* text;
    int value;
};

class IntegerTextAccepts : public ::testing::TestWithParam<Convertible> {};

TEST_P(IntegerTextAccepts, GivesTheValue)
{
    int value = 12345;
    ASSERT_TRUE(TryStrToInt(GetParam().text, value)) << GetParam().text;
    EXPECT_EQ(value, GetParam().value);
    EXPECT_EQ(StrToInt(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Syntax, IntegerTextAccepts,
                         ::testing::Values(Convertible{"0", 0}, Convertible{"100", 100}, Convertible{"007", 7},
                                           Convertible{"  42", 42}, Convertible{"+5", 5}, Convertible{"-8", -8},
                                           Convertible{"   -736", -736}, Convertible{"$64", 100},
                                           Convertible{"$ff", 255}, Convertible{"0x64", 100},
                                           Convertible{"0X1A", 26}, Convertible{"-$10", -16},
                                           Convertible{"+0x10", 16}, Convertible{"2147483647", 2147483647},
                                           Convertible{"-2147483648", -2147483647 - 1},
                                           Convertible{"$7FFFFFFF", 2147483647},
                                           // hexadecimal digits are a 32-bit pattern
                                           Convertible{"$FFFFFFFF", -1},
                                           Convertible{"$80000000", -2147483647 - 1},
                                           Convertible{"$00000000010", 16}));

class IntegerTextRefuses : public ::testing::TestWithParam<const char*> {};

TEST_P(IntegerTextRefuses, FailsWithItsMessage)
{
    int value = 12345;
    EXPECT_FALSE(TryStrToInt(GetParam(), value));
    EXPECT_EQ(value, 12345) << "a failed conversion leaves the value alone";
    try {
        StrToInt(GetParam());
        ADD_FAILURE() << "no failure for '" << GetParam() << "'";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), std::string("'") + GetParam() + "' is not a valid integer value");
    }
}

INSTANTIATE_TEST_SUITE_P(Syntax, IntegerTextRefuses,
                         ::testing::Values("", " ", "+", "-", "$", "0x", "-$", "abc", "12a", "100 ", "1 0",
                                           "1.5", "--1", "+-1", "$G", "0x1g", "\t5", "2147483648",
                                           "-2147483649", "99999999999999999999", "$100000000", "x10"));

TEST(IntegerText, WritesPlainDecimal)
{
    EXPECT_EQ(IntToStr(0), "0");
    EXPECT_EQ(IntToStr(1024), "1024");
    EXPECT_EQ(IntToStr(-8), "-8");
    EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
}

}  // namespace
}  // namespace velastrom
