#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <optional>

namespace vk {

// The nineteen settings, named after the window fields that hold them. The first eighteen are
// stored, in this order; Filter is not.
enum class Setting {
    xLoginDatabase,
    xLoginServer,
    xLoginSQL,
    xPaswoordSQL,
    w2wInkomende,
    w2wUitgaande,
    Automatisch,
    Backups,
    Debiteur,
    Bedrijf,
    SV,
    Interval,
    kor_oprek,
    costs2,
    Gebruiker,
    Tariefcode,
    costs,
    Scoot,
    Filter,
};

enum class SettingKind {
    Text,       // any text, as typed
    Password,   // text, shown masked
    Folder,     // a folder path, with a picker beside it
    Numeric,    // text, read with the integer reading at every use
    OneLetter,  // text; the planning row keeps only its first character
    TickBox,
};

struct SettingInfo {
    Setting id;
    QStringView name;      // the field's name: "xLoginServer"
    QStringView property;  // the stored property: "Text" or "Checked"
    bool stored;
    QStringView page;   // tab of the main window
    QStringView label;  // caption shown beside the field, or the tick box's own
    SettingKind kind;
    QStringView defaultText;  // for tick boxes "TRUE" or "FALSE"
    QStringView hint;         // empty where the field has none

    bool isTickBox() const { return kind == SettingKind::TickBox; }
    bool defaultChecked() const { return defaultText == u"TRUE"; }
    // the stored entry "xLoginServer.Text"
    QString storedEntry() const;
    // the element of the settings file "xLoginServer_Text"
    QString elementName() const;
};

inline constexpr std::size_t kSettingCount = 19;
inline constexpr std::size_t kStoredSettingCount = 18;

// The table, in stored order, Filter last.
const std::array<SettingInfo, kSettingCount>& settingTable();
const SettingInfo& settingInfo(Setting id);
std::optional<Setting> settingByName(QStringView name);

}  // namespace vk
