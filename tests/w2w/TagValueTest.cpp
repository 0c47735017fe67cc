#include "support/ParamName.h"
#include "w2w/W2WFormat.h"

#include <gtest/gtest.h>

namespace vk::w2w {
namespace {

using vk::test::PrintTo;

struct Case {
    const char* name;
    const char16_t* tag;
    const char16_t* text;
    const char16_t* expected;
};

class TagValue : public ::testing::TestWithParam<Case> {};

TEST_P(TagValue, CutsTheRawText) {
    const auto& c = GetParam();
    EXPECT_EQ(GetTagValue(QStringView(c.tag), QStringView(c.text)), QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TagValue,
    ::testing::Values(Case{"plain", u"<kind>", u"<kind>ADD</kind>", u"ADD"},
                      Case{"no_trimming", u"<kind>", u"<kind> ADD </kind>", u" ADD "},
                      Case{"costs_not_found_in_costs2", u"<costs>", u"<costs2>1200</costs2>", u""},
                      Case{"costs2_found", u"<costs2>", u"<costs2>1200</costs2>", u"1200"},
                      Case{"costs_closing_not_matched_by_costs2", u"<costs>",
                           u"<costs>5</costs2><costs2>7</costs2>", u""},
                      Case{"first_occurrence", u"<id>", u"<id>12</id><id>13</id>", u"12"},
                      Case{"no_closing_tag", u"<id>", u"<w2w><id>12</w2w>", u""},
                      Case{"empty_element", u"<id>", u"<id></id>", u""},
                      Case{"closing_before_opening", u"<id>", u"</id><id>12</id>", u""},
                      Case{"spans_lines", u"<extra>", u"<extra>a\r\nb</extra>", u"a\r\nb"},
                      Case{"letter_case_matters", u"<kind>", u"<KIND>ADD</KIND>", u""},
                      Case{"absent", u"<ssec>", u"<kind>ADD</kind>", u""},
                      Case{"no_decoding", u"<extra>", u"<extra>a &amp; b &#65; <![CDATA[x]]></extra>",
                           u"a &amp; b &#65; <![CDATA[x]]>"},
                      Case{"inside_comment", u"<id>", u"<!-- <id>1</id> --><id>2</id>", u"1"},
                      Case{"any_enclosing_element", u"<id>", u"<a><b><id>9</id></b></a>", u"9"},
                      Case{"attributes_do_not_match", u"<id>", u"<id nr=\"1\">5</id>", u""},
                      Case{"space_before_bracket", u"<id>", u"<id >5</id>", u""},
                      Case{"empty_element_tag", u"<id>", u"<id/>", u""},
                      Case{"nested_same_tag", u"<a>", u"<a><a>x</a></a>", u"<a>x"},
                      Case{"every_bracket_replaced", u"<a<b>", u"<a<b>v</a</b>", u"v"},
                      Case{"empty_tag", u"", u"abc", u""}, Case{"empty_text", u"<id>", u"", u""}),
    test::ParamName());

}  // namespace
}  // namespace vk::w2w
