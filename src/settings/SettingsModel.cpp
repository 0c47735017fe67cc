#include "settings/SettingsModel.h"

namespace vk {

namespace {

using K = SettingKind;
using S = Setting;

constexpr QStringView kSettingsPage = u"Instellingen";
constexpr QStringView kFilesPage = u"Bestanden";
constexpr QStringView kOtherPage = u"Overig";

const std::array<SettingInfo, kSettingCount> kTable{{
    {S::xLoginDatabase, u"xLoginDatabase", u"Text", true, kSettingsPage, u"Database", K::Text, u"",
     u"Databasenaam Vindo Velora database"},
    {S::xLoginServer, u"xLoginServer", u"Text", true, kSettingsPage, u"SQL server", K::Text, u"",
     u"Locatie SQL database"},
    {S::xLoginSQL, u"xLoginSQL", u"Text", true, kSettingsPage, u"Inlognaam", K::Text, u"",
     u"Inlognaam SQL database"},
    {S::xPaswoordSQL, u"xPaswoordSQL", u"Text", true, kSettingsPage, u"Paswoord", K::Password, u"",
     u"Paswoord SQL database"},
    {S::w2wInkomende, u"w2wInkomende", u"Text", true, kFilesPage, u"Locatie inkomende bestanden", K::Folder,
     u"", u""},
    {S::w2wUitgaande, u"w2wUitgaande", u"Text", true, kFilesPage, u"Locatie uitkomende bestanden", K::Folder,
     u"", u""},
    {S::Automatisch, u"Automatisch", u"Checked", true, kSettingsPage, u"Communicatie automatisch inschakelen",
     K::TickBox, u"FALSE", u""},
    {S::Backups, u"Backups", u"Checked", true, kSettingsPage, u"Backups bijhouden van de inkomende pakketten",
     K::TickBox, u"TRUE", u""},
    {S::Debiteur, u"Debiteur", u"Text", true, kSettingsPage, u"Debiteurnummer", K::Numeric, u"0", u""},
    {S::Bedrijf, u"Bedrijf", u"Text", true, kSettingsPage, u"Bedrijf", K::Numeric, u"0", u""},
    {S::SV, u"SV", u"Text", true, kSettingsPage, u"Soort vervoer", K::OneLetter, u"Z", u""},
    {S::Interval, u"Interval", u"Text", true, kSettingsPage, u"Interval ''", K::Numeric, u"10", u""},
    {S::kor_oprek, u"kor_oprek", u"Checked", true, kOtherPage,
     u"Ontvangen ritopdrachten op rekening plaatsen", K::TickBox, u"TRUE", u""},
    {S::costs2, u"costs2", u"Checked", true, kOtherPage, u"Ontvangen bedrag in COSTS2 niet verwerken",
     K::TickBox, u"FALSE", u""},
    {S::Gebruiker, u"Gebruiker", u"Text", true, kSettingsPage, u"Gebruiker", K::Numeric, u"0",
     u"Gebruikersnummer"},
    {S::Tariefcode, u"Tariefcode", u"Text", true, kSettingsPage, u"Tariefcode", K::Numeric, u"0",
     u"Standaard tariefcode (referentiesleutel)"},
    {S::costs, u"costs", u"Checked", true, kOtherPage, u"Ontvangen bedrag in COSTS niet verwerken",
     K::TickBox, u"FALSE", u""},
    {S::Scoot, u"Scoot", u"Checked", true, kOtherPage, u"Scootmobiel > altijd rolstoel", K::TickBox, u"FALSE",
     u""},
    {S::Filter, u"Filter", u"Text", false, kSettingsPage, u"Filter", K::OneLetter, u"W", u""},
}};

}  // namespace

QString SettingInfo::storedEntry() const {
    return name.toString() + u'.' + property.toString();
}

QString SettingInfo::elementName() const {
    return name.toString() + u'_' + property.toString();
}

const std::array<SettingInfo, kSettingCount>& settingTable() {
    return kTable;
}

const SettingInfo& settingInfo(Setting id) {
    return kTable[static_cast<std::size_t>(id)];
}

std::optional<Setting> settingByName(QStringView name) {
    for (const auto& s : kTable) {
        if (s.name == name) {
            return s.id;
        }
    }
    return std::nullopt;
}

}  // namespace vk
