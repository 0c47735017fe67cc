#include "settings/Settings.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace vk {
namespace {

TEST(SettingsModel, EighteenStoredSettingsInTheirOrderThenFilter) {
    const auto& table = settingTable();
    QStringList entries;
    for (const auto& s : table) {
        if (s.stored) {
            entries << s.storedEntry();
        }
    }
    EXPECT_EQ(entries.size(), 18);
    EXPECT_EQ(entries.first(), QStringLiteral("xLoginDatabase.Text"));
    EXPECT_EQ(entries[6], QStringLiteral("Automatisch.Checked"));
    EXPECT_EQ(entries.last(), QStringLiteral("Scoot.Checked"));
    EXPECT_FALSE(settingInfo(Setting::Filter).stored);
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(table[i].id), i);
        EXPECT_EQ(settingByName(table[i].name), table[i].id);
    }
    EXPECT_EQ(settingInfo(Setting::kor_oprek).elementName(), QStringLiteral("kor_oprek_Checked"));
    EXPECT_EQ(settingInfo(Setting::Interval).label, u"Interval ''");
}

TEST(MemorySettings, StartAtTheDefaultsAndReadNumbersAtUse) {
    MemorySettings s;
    EXPECT_EQ(s.text(Setting::SV), QStringLiteral("Z"));
    EXPECT_EQ(s.text(Setting::Filter), QStringLiteral("W"));
    EXPECT_EQ(s.number(Setting::Interval), 10);
    EXPECT_TRUE(s.checked(Setting::Backups));
    EXPECT_TRUE(s.checked(Setting::kor_oprek));
    EXPECT_FALSE(s.checked(Setting::Automatisch));
    EXPECT_TRUE(s.text(Setting::w2wInkomende).isEmpty());
    s.setText(Setting::Debiteur, QStringLiteral(" 42"));
    EXPECT_EQ(s.number(Setting::Debiteur), 42);
    s.setText(Setting::Debiteur, QStringLiteral("42 "));
    EXPECT_EQ(s.number(Setting::Debiteur), 42);
    s.setText(Setting::Interval, QStringLiteral("abc"));
    EXPECT_EQ(s.text(Setting::Interval), QStringLiteral("abc"));
    EXPECT_EQ(s.number(Setting::Interval), 0);
}

}  // namespace
}  // namespace vk
