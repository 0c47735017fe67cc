#include "planning/PlanningRecord.h"
#include "platform/Errors.h"
#include "support/TempFolder.h"
#include "w2w/Acknowledgement.h"
#include "w2w/OrderHandlers.h"
#include "w2w/W2WFormat.h"

#include <gtest/gtest.h>

namespace vk::w2w {
namespace {

struct PickupCase {
    const char16_t* ssec;
    QDateTime expected;  // invalid when an error is expected
    const char* error;
};

void PrintTo(const PickupCase& c, std::ostream* os) {
    *os << '"' << QString::fromUtf16(c.ssec).toStdString() << '"';
}

class PickupTime : public ::testing::TestWithParam<PickupCase> {};

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

TEST_P(PickupTime, ReadsByPosition) {
    const auto& c = GetParam();
    if (c.error) {
        try {
            readPickupTime(QStringView(c.ssec));
            FAIL() << "no error";
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.message(), QString::fromUtf8(c.error));
        }
    } else {
        EXPECT_EQ(readPickupTime(QStringView(c.ssec)), c.expected);
    }
}

constexpr const char* kDate = "Invalid argument to date encode";
constexpr const char* kTime = "Invalid argument to time encode";

INSTANTIATE_TEST_SUITE_P(
    Cases, PickupTime,
    ::testing::Values(
        PickupCase{u"201101071146", at(2011, 1, 7, 11, 46), nullptr},
        PickupCase{u"20110107114659", at(2011, 1, 7, 11, 46), nullptr},
        PickupCase{u"20110107", at(2011, 1, 7), nullptr},
        PickupCase{u"2011010711", at(2011, 1, 7, 11, 0), nullptr},
        PickupCase{u"201202291200", at(2012, 2, 29, 12, 0), nullptr},
        PickupCase{u"200002291200", at(2000, 2, 29, 12, 0), nullptr},
        PickupCase{u"201112312359", at(2011, 12, 31, 23, 59), nullptr},
        PickupCase{u"20110107 946", at(2011, 1, 7, 9, 46), nullptr},  // " 9" reads 9
        PickupCase{u"201102291200", QDateTime(), kDate}, PickupCase{u"190002291200", QDateTime(), kDate},
        PickupCase{u"201113071146", QDateTime(), kDate}, PickupCase{u"201100071146", QDateTime(), kDate},
        PickupCase{u"201104311146", QDateTime(), kDate}, PickupCase{u"000001071146", QDateTime(), kDate},
        PickupCase{u"2011", QDateTime(), kDate}, PickupCase{u"", QDateTime(), kDate},
        PickupCase{u"abcd01071146", QDateTime(), kDate}, PickupCase{u"201101072400", QDateTime(), kTime},
        PickupCase{u"201101071160", QDateTime(), kTime}, PickupCase{u"20110107-1-1", QDateTime(), kTime},
        PickupCase{u"201113072400", QDateTime(), kDate}));  // the date is checked first

TEST(AcknowledgementName, ReplacesTheExtension) {
    EXPECT_EQ(acknowledgementFileName(QStringLiteral("4711.s2c")), QStringLiteral("4711.c2s"));
    EXPECT_EQ(acknowledgementFileName(QStringLiteral("ORDER.S2C")), QStringLiteral("ORDER.c2s"));
    EXPECT_EQ(acknowledgementFileName(QStringLiteral("a.b.s2c")), QStringLiteral("a.b.c2s"));
    EXPECT_EQ(acknowledgementFileName(QStringLiteral(".s2c")), QStringLiteral(".c2s"));
    EXPECT_EQ(acknowledgementFileName(QStringLiteral("noext")), QStringLiteral("noext.c2s"));
}

TEST(AcknowledgementFile, IsExactlyTheSevenLines) {
    test::TempFolder dir;
    QStringList lines;
    writeAcknowledgementFile(lines, dir.path(), QStringLiteral("4711.s2c"), QStringLiteral("BOB"),
                             QStringLiteral("4711"));
    const QByteArray bytes = test::readAll(dir.file(QStringLiteral("4711.c2s")));
    EXPECT_EQ(
        bytes,
        "<?xml version=\"1.0\"?>\r\n<w2w version=\"1.0\">\r\n<c2s>\r\n<kind>BOB</kind>\r\n<id>4711</id>\r\n"
        "</c2s>\r\n</w2w>\r\n");
    EXPECT_EQ(bytes.size(), 100);
    EXPECT_EQ(lines.size(), 7);
}

TEST(AcknowledgementFile, EchoesTheIdAsFoundInTheAnsiCodePageAndReplacesAnOldFile) {
    test::TempFolder dir;
    dir.write(QStringLiteral("ORDER.c2s"), QByteArray(500, 'x'));
    QStringList lines{QStringLiteral("left over")};
    writeAcknowledgementFile(lines, dir.path(), QStringLiteral("ORDER.S2C"), QStringLiteral("WOB"),
                             QStringLiteral(" 4711 \r\n€Ł"));
    const QByteArray bytes = test::readAll(dir.file(QStringLiteral("ORDER.c2s")));
    EXPECT_TRUE(bytes.contains("<kind>WOB</kind>\r\n<id> 4711 \r\n\x80L</id>\r\n")) << bytes.toStdString();
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(lines.first(), QStringLiteral("<?xml version=\"1.0\"?>"));

    writeAcknowledgementFile(lines, dir.path(), QStringLiteral("none.s2c"), QStringLiteral("BOB"), QString());
    EXPECT_TRUE(test::readAll(dir.file(QStringLiteral("none.c2s"))).contains("\r\n<id></id>\r\n"));
}

TEST(AcknowledgementFile, AMissingOutboundFolderIsPassedToTheCaller) {
    test::TempFolder dir;
    QStringList lines;
    const QString outbound = dir.file(QStringLiteral("C2S"));
    try {
        writeAcknowledgementFile(lines, outbound, QStringLiteral("1.s2c"), QStringLiteral("BOB"), QString());
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_TRUE(
            e.message().startsWith(QStringLiteral("Cannot create file \"%1/1.c2s\". ").arg(outbound)));
    }
}

// An amendment's order number is read as a new order's <id> is: leading zeros do not count.
TEST(OrderNumbers, AWholeNumberThatFitsWithAnyLeadingZeros) {
    EXPECT_EQ(orderNumberOf(QStringLiteral("000000004711")), 4711);
    EXPECT_EQ(orderNumberOf(QStringLiteral(" 0000000000000000000004711 ")), 4711);
    EXPECT_EQ(orderNumberOf(QStringLiteral("-0004711")), -4711);
    EXPECT_EQ(orderNumberOf(QStringLiteral("0")), 0);
    EXPECT_EQ(orderNumberOf(QStringLiteral("2147483647")), 2147483647);
    for (const char* bad : {"2147483648", "99999999999", "47 11", "4711a", "", "+"}) {
        EXPECT_THROW(orderNumberOf(QString::fromLatin1(bad)), Error) << bad;
    }
}

// Texts keep their length in the code page, so that the cut to a column's size counts characters.
TEST(TextColumns, AMissingCharacterIsOneReplacement) {
    EXPECT_EQ(ansiForm(QString(7, QChar(0x0133)), 6), QStringLiteral("??????"));  // seven ĳ into 6
    EXPECT_EQ(postcodeOf(QString(QChar(0x0133)) + QStringLiteral("234AB")), QStringLiteral("?234 AB"));
    EXPECT_EQ(ansiForm(QStringLiteral("\u0141\u00f3d\u017a"), 10), QStringLiteral("L\u00f3dz"));
}

}  // namespace
}  // namespace vk::w2w
