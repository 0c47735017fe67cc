#include "platform/IntegerReading.h"

#include <QString>

#include <gtest/gtest.h>

#include <climits>

namespace vk {
namespace {

struct Case {
    const char16_t* text;
    int expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << '"' << QString::fromUtf16(c.text).toStdString() << '"';
}

class IntegerReading : public ::testing::TestWithParam<Case> {};

TEST_P(IntegerReading, ReadsAsTheRuleSays) {
    const Case c = GetParam();
    EXPECT_EQ(readInteger(QStringView(c.text)), c.expected) << QString::fromUtf16(c.text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Examples, IntegerReading,
    ::testing::Values(Case{u"12", 12}, Case{u"12a", 12}, Case{u" 7", 7}, Case{u"   7", 7}, Case{u"-5", -5},
                      Case{u"-5a", 5}, Case{u"+5", 5}, Case{u"$1F", 31}, Case{u"$1f", 31}, Case{u"x1F", 31},
                      Case{u"X10", 16}, Case{u"0x1F", 31}, Case{u"0X1f", 31}, Case{u"-$10", -16},
                      Case{u"abc", 0}, Case{u"", 0}, Case{u"\r\n12", 0}, Case{u"\t12", 0}, Case{u"\n12", 0},
                      Case{u"1 2", 1}, Case{u"42 ", 42}, Case{u"0012", 12}, Case{u"-", 0}, Case{u"+", 0},
                      Case{u"$", 0}, Case{u"0x", 0}, Case{u"--5", 0}, Case{u"12.5", 12}, Case{u"1250", 1250},
                      Case{u"١٢", 0}));

// Beyond the 32-bit signed range the value is clamped to it.
INSTANTIATE_TEST_SUITE_P(Beyond32Bits, IntegerReading,
                         ::testing::Values(Case{u"2147483647", INT_MAX}, Case{u"2147483648", INT_MAX},
                                           Case{u"99999999999999999999999", INT_MAX},
                                           Case{u"-2147483648", INT_MIN}, Case{u"-2147483649", INT_MIN},
                                           Case{u"-99999999999999999999", INT_MIN},
                                           Case{u"-99999999999x", INT_MAX}, Case{u"$FFFFFFFF", INT_MAX},
                                           Case{u"$7FFFFFFF", INT_MAX}));

}  // namespace
}  // namespace vk
