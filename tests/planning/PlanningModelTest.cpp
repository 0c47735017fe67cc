#include "planning/Amount.h"
#include "planning/PlanningColumns.h"
#include "planning/SqlDialect.h"

#include <QFile>

#include <gtest/gtest.h>

#include <set>

namespace vk {
namespace {

TEST(PlanningColumns, EveryInsertDefaultIsAssignedOnceInTheListedOrder) {
    std::set<Column> withDefault;
    for (const ColumnInfo& c : planningColumns()) {
        if (c.insertDefault != InsertDefault::None) {
            withDefault.insert(c.id);
        }
        EXPECT_EQ(columnByName(c.name), c.id);
    }
    const auto& order = insertDefaultOrder();
    EXPECT_EQ(std::set<Column>(order.begin(), order.end()), withDefault);
    EXPECT_EQ(order.front(), Column::pla_status);
    EXPECT_EQ(order.back(), Column::pla_tarief_bedrijf);
    EXPECT_EQ(columnInfo(Column::pla_telefoon).size, 40);
    EXPECT_EQ(columnInfo(Column::pla_temp).size, 40);
}

struct AmountCase {
    const char* text;
    std::optional<std::int64_t> cents;
};

TEST(Amount, ParsesDecimalTextExactly) {
    const AmountCase cases[] = {
        {"12.50", 1250}, {"12.5", 1250},    {"7", 700}, {"-0.05", -5},
        {"0.00", 0},     {"12.5000", 1250}, {".5", 50}, {"9999999999999999.99", 999999999999999999},
        {"1.234", {}},   {"abc", {}},       {"", {}},   {"1,50", {}}};
    for (const auto& c : cases) {
        const auto a = Amount::parse(QString::fromLatin1(c.text));
        EXPECT_EQ(a ? std::optional(a->cents()) : std::nullopt, c.cents) << c.text;
    }
    EXPECT_EQ(Amount::fromCents(1250).toString(), QStringLiteral("12.50"));
    EXPECT_EQ(Amount::fromCents(-5).toString(), QStringLiteral("-0.05"));
    EXPECT_EQ(Amount::fromCents(0).toString(), QStringLiteral("0.00"));
}

// The schema scripts kept in schema/ are the ones the code makes.
TEST(Schema, TheScriptsMatchTheColumnTable) {
    for (SqlDialect d : {SqlDialect::SqlServer, SqlDialect::PostgreSQL, SqlDialect::SQLite}) {
        const QString path =
            QStringLiteral(VK_SOURCE_DIR "/schema/") + dialectName(d) + QStringLiteral(".sql");
        if (qEnvironmentVariableIsSet("VK_WRITE_SCHEMA")) {
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(schemaScript(d).toUtf8());
        }
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        EXPECT_EQ(QString::fromUtf8(f.readAll()), schemaScript(d)) << "regenerate with VK_WRITE_SCHEMA=1";
    }
}

}  // namespace
}  // namespace vk
