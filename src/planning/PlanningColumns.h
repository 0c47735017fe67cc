#pragma once

#include <QStringView>

#include <array>
#include <cstddef>
#include <optional>

namespace vk {

// The columns of "planning" that the link reads or writes, in the table's order.
enum class Column {
    pla_id,
    pla_bdr_id,
    pla_datum,
    pla_tijdstip,
    pla_extern,
    pla_ophstraat,
    pla_ophnummer,
    pla_ophpostcode,
    pla_ophstad,
    pla_besstraat,
    pla_bestnummer,
    pla_bestpostcode,
    pla_beststad,
    pla_opmerking,
    pla_rolstoel,
    pla_combineren,
    pla_lopers,
    pla_rollers,
    pla_reiziger,
    pla_wagen,
    pla_chauffeur,
    pla_route,
    pla_van,
    pla_naar,
    pla_mut,
    pla_km_sqr,
    pla_km_map,
    pla_hulpstukken,
    pla_minuten,
    pla_soortvervoer,
    pla_soortwagen,
    pla_soortrit,
    pla_filter,
    pla_bedrag_5,
    pla_bedrag,
    pla_status,
    pla_proces,
    pla_telefoon,
    pla_bellen,
    pla_voorin,
    pla_tarief_bedrijf,
    pla_begeleiding,
    pla_tekst,
    pla_rc,
    pla_vektis,
    pla_vektis_subnummer,
    pla_uzovi,
    pla_ntr,
    pla_temp,
    pla_spoed,
    pla_txtext_vanaf,
    pla_txtext_actief,
    pla_tvtext_verwacht,
    pla_extern_ritnummer,
    pla_isretour,
    pla_zone_van,
    pla_zone_naar,
    pla_zone_aantal,
};

enum class ColumnType {
    Identity,  // assigned by the database, never written
    Integer,   // 32-bit signed
    DateTime,  // date with time of day, no zone
    Text,      // 8-bit text in the ANSI code page of at most size characters
    Amount,    // decimal(18,2)
    WideMemo,  // Unicode text of any length
};

// What a new row receives when it is appended.
enum class InsertDefault {
    None,
    Value,         // the literal in defaultValue
    TemporaryKey,  // a fresh temporary key
    Now,           // the current local time
    Tariefcode,    // the integer reading of the Tariefcode setting
};

struct ColumnInfo {
    Column id;
    QStringView name;
    ColumnType type;
    int size;  // characters, for text columns
    InsertDefault insertDefault;
    QStringView defaultValue;  // for InsertDefault::Value: "0", "1", "0.00", "W", "" ...
};

inline constexpr std::size_t kColumnCount = 58;

const std::array<ColumnInfo, kColumnCount>& planningColumns();
const ColumnInfo& columnInfo(Column id);
inline QStringView columnName(Column id) {
    return columnInfo(id).name;
}
std::optional<Column> columnByName(QStringView name);

// The columns that a new row's defaults are assigned to, in the order of assignment.
inline constexpr std::size_t kInsertDefaultCount = 35;
const std::array<Column, kInsertDefaultCount>& insertDefaultOrder();

}  // namespace vk
