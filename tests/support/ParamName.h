#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vk::test {

// Names a parameterised case after the "name" member of its parameter.
struct ParamName {
    template <class P>
    std::string operator()(const ::testing::TestParamInfo<P>& p) const {
        return p.param.name;
    }
};

}  // namespace vk::test

namespace vk::test {

// Prints a parameter by its name, so that test listings stay readable; bring it into the
// parameter's namespace with "using vk::test::PrintTo;".
template <class P>
requires requires(const P& p) {
    p.name;
}
void PrintTo(const P& p, std::ostream* os) {
    *os << p.name;
}

}  // namespace vk::test
