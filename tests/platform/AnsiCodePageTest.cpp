#include "platform/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <clocale>

namespace vk {
namespace {

// Windows-1252 from 0x80 to 0x9F; the five undefined bytes decode to the control character of
// the same number.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

TEST(AnsiCodePage, DecodesTheBytes80To9F) {
    for (int b = 0x80; b <= 0x9F; ++b) {
        const char byte = static_cast<char>(b);
        const QString text = ansi::decode(QByteArrayView(&byte, 1));
        ASSERT_EQ(text.size(), 1);
        EXPECT_EQ(text[0].unicode(), kHighControls[b - 0x80]) << "byte " << b;
    }
}

TEST(AnsiCodePage, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(static_cast<char>(b));
    }
    const QString text = ansi::decode(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(text[0xE9], QChar(u'é'));
    EXPECT_EQ(ansi::encode(text), all);
}

struct EncodeCase {
    const char16_t* text;
    QByteArray expected;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << QString::fromUtf16(c.text).toStdString();
}

class AnsiEncode : public ::testing::TestWithParam<EncodeCase> {};

// The conversion must not depend on the process's locale: it runs under "C" here.
TEST_P(AnsiEncode, ReplacesMissingCharactersBySimilarOnes) {
    std::setlocale(LC_ALL, "C");
    const auto& c = GetParam();
    EXPECT_EQ(ansi::encode(QStringView(c.text)), c.expected) << QString::fromUtf16(c.text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnsiEncode,
    ::testing::Values(EncodeCase{u"Łódź", QByteArray("L\xF3"
                                                     "dz")},  // ó is in the code page
                      EncodeCase{u"€ 12,50", QByteArray("\x80 12,50")},
                      EncodeCase{u"Šš Žž Ÿ", QByteArray("\x8A\x9A \x8E\x9E \x9F")},
                      EncodeCase{u"ĉ", QByteArray("c")},
                      EncodeCase{u"中", QByteArray("?")},            // nothing similar
                      EncodeCase{u"\xD83D\xDE00", QByteArray("?")},  // a character beyond FFFF
                      EncodeCase{u"a\xD800"
                                 "b",
                                 QByteArray("a?b")},           // a lone surrogate
                      EncodeCase{u"\x0080", QByteArray("?")},  // a control the code page lacks
                      // one character in, one out: what only several could stand for becomes "?"
                      EncodeCase{u"\x0133\x0133x", QByteArray("??x")},  // ĳ
                      EncodeCase{u"\xFB01", QByteArray("?")},             // ﬁ
                      EncodeCase{u"", QByteArray()}));

TEST(AnsiCodePage, ManyCharactersOutsideTheCodePageStayInOrder) {
    QString text;
    for (int i = 0; i < 1000; ++i) {
        text += QStringLiteral("Ł%1ń").arg(i);
    }
    QByteArray expected;
    for (int i = 0; i < 1000; ++i) {
        expected += "L" + QByteArray::number(i) + "n";
    }
    EXPECT_EQ(ansi::encode(text), expected);
}

}  // namespace
}  // namespace vk
