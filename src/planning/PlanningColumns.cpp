#include "planning/PlanningColumns.h"

namespace vk {

namespace {

using C = Column;
using T = ColumnType;
using D = InsertDefault;

const std::array<ColumnInfo, kColumnCount> kColumns{{
    {C::pla_id, u"pla_id", T::Identity, 0, D::None, u""},
    {C::pla_bdr_id, u"pla_bdr_id", T::Integer, 0, D::None, u""},
    {C::pla_datum, u"pla_datum", T::DateTime, 0, D::None, u""},
    {C::pla_tijdstip, u"pla_tijdstip", T::DateTime, 0, D::None, u""},
    {C::pla_extern, u"pla_extern", T::Integer, 0, D::None, u""},
    {C::pla_ophstraat, u"pla_ophstraat", T::Text, 50, D::None, u""},
    {C::pla_ophnummer, u"pla_ophnummer", T::Text, 10, D::None, u""},
    {C::pla_ophpostcode, u"pla_ophpostcode", T::Text, 10, D::None, u""},
    {C::pla_ophstad, u"pla_ophstad", T::Text, 50, D::None, u""},
    {C::pla_besstraat, u"pla_besstraat", T::Text, 50, D::None, u""},
    {C::pla_bestnummer, u"pla_bestnummer", T::Text, 10, D::None, u""},
    {C::pla_bestpostcode, u"pla_bestpostcode", T::Text, 10, D::None, u""},
    {C::pla_beststad, u"pla_beststad", T::Text, 50, D::None, u""},
    {C::pla_opmerking, u"pla_opmerking", T::Text, 50, D::None, u""},
    {C::pla_rolstoel, u"pla_rolstoel", T::Integer, 0, D::None, u""},
    {C::pla_combineren, u"pla_combineren", T::Integer, 0, D::Value, u"0"},
    {C::pla_lopers, u"pla_lopers", T::Integer, 0, D::Value, u"1"},
    {C::pla_rollers, u"pla_rollers", T::Integer, 0, D::Value, u"0"},
    {C::pla_reiziger, u"pla_reiziger", T::Integer, 0, D::None, u""},
    {C::pla_wagen, u"pla_wagen", T::Integer, 0, D::Value, u"0"},
    {C::pla_chauffeur, u"pla_chauffeur", T::Integer, 0, D::Value, u"0"},
    {C::pla_route, u"pla_route", T::Integer, 0, D::Value, u"0"},
    {C::pla_van, u"pla_van", T::Integer, 0, D::Value, u"0"},
    {C::pla_naar, u"pla_naar", T::Integer, 0, D::Value, u"0"},
    {C::pla_mut, u"pla_mut", T::Integer, 0, D::Value, u"1"},
    {C::pla_km_sqr, u"pla_km_sqr", T::Amount, 0, D::Value, u"0.00"},
    {C::pla_km_map, u"pla_km_map", T::Amount, 0, D::Value, u"0.00"},
    {C::pla_hulpstukken, u"pla_hulpstukken", T::Integer, 0, D::Value, u"0"},
    {C::pla_minuten, u"pla_minuten", T::Integer, 0, D::Value, u"0"},
    {C::pla_soortvervoer, u"pla_soortvervoer", T::Text, 1, D::Value, u"P"},
    {C::pla_soortwagen, u"pla_soortwagen", T::Text, 1, D::Value, u"T"},
    {C::pla_soortrit, u"pla_soortrit", T::Text, 1, D::Value, u"S"},
    {C::pla_filter, u"pla_filter", T::Text, 1, D::Value, u""},
    {C::pla_bedrag_5, u"pla_bedrag_5", T::Amount, 0, D::None, u""},
    {C::pla_bedrag, u"pla_bedrag", T::Amount, 0, D::None, u""},
    {C::pla_status, u"pla_status", T::Text, 1, D::Value, u"W"},
    {C::pla_proces, u"pla_proces", T::Integer, 0, D::Value, u"0"},
    {C::pla_telefoon, u"pla_telefoon", T::Text, 40, D::None, u""},
    {C::pla_bellen, u"pla_bellen", T::Integer, 0, D::Value, u"0"},
    {C::pla_voorin, u"pla_voorin", T::Integer, 0, D::Value, u"0"},
    {C::pla_tarief_bedrijf, u"pla_tarief_bedrijf", T::Integer, 0, D::Tariefcode, u""},
    {C::pla_begeleiding, u"pla_begeleiding", T::Integer, 0, D::Value, u"0"},
    {C::pla_tekst, u"pla_tekst", T::WideMemo, 0, D::None, u""},
    {C::pla_rc, u"pla_rc", T::Integer, 0, D::None, u""},
    {C::pla_vektis, u"pla_vektis", T::Integer, 0, D::Value, u"0"},
    {C::pla_vektis_subnummer, u"pla_vektis_subnummer", T::Integer, 0, D::Value, u"0"},
    {C::pla_uzovi, u"pla_uzovi", T::Integer, 0, D::Value, u"0"},
    {C::pla_ntr, u"pla_ntr", T::Integer, 0, D::Value, u"0"},
    {C::pla_temp, u"pla_temp", T::Text, 40, D::TemporaryKey, u""},
    {C::pla_spoed, u"pla_spoed", T::Integer, 0, D::Value, u"0"},
    {C::pla_txtext_vanaf, u"pla_txtext_vanaf", T::DateTime, 0, D::Now, u""},
    {C::pla_txtext_actief, u"pla_txtext_actief", T::Integer, 0, D::Value, u"0"},
    {C::pla_tvtext_verwacht, u"pla_tvtext_verwacht", T::DateTime, 0, D::Now, u""},
    {C::pla_extern_ritnummer, u"pla_extern_ritnummer", T::Integer, 0, D::None, u""},
    {C::pla_isretour, u"pla_isretour", T::Integer, 0, D::Value, u"0"},
    {C::pla_zone_van, u"pla_zone_van", T::Integer, 0, D::Value, u"0"},
    {C::pla_zone_naar, u"pla_zone_naar", T::Integer, 0, D::Value, u"0"},
    {C::pla_zone_aantal, u"pla_zone_aantal", T::Integer, 0, D::None, u""},
}};

// The order in which a new row receives its defaults: status and flags, the one-letter texts,
// the counters and distances, the references, the zones and codes, then the temporary key, the
// two times and the tariff.
const std::array<Column, kInsertDefaultCount> kInsertDefaultOrder{{
    C::pla_status,
    C::pla_spoed,
    C::pla_isretour,
    C::pla_txtext_actief,
    C::pla_proces,
    C::pla_bellen,
    C::pla_voorin,
    C::pla_filter,
    C::pla_soortvervoer,
    C::pla_soortrit,
    C::pla_soortwagen,
    C::pla_minuten,
    C::pla_hulpstukken,
    C::pla_km_sqr,
    C::pla_mut,
    C::pla_km_map,
    C::pla_van,
    C::pla_naar,
    C::pla_route,
    C::pla_chauffeur,
    C::pla_wagen,
    C::pla_lopers,
    C::pla_rollers,
    C::pla_combineren,
    C::pla_zone_naar,
    C::pla_zone_van,
    C::pla_ntr,
    C::pla_vektis,
    C::pla_vektis_subnummer,
    C::pla_uzovi,
    C::pla_begeleiding,
    C::pla_temp,
    C::pla_txtext_vanaf,
    C::pla_tvtext_verwacht,
    C::pla_tarief_bedrijf,
}};

}  // namespace

const std::array<ColumnInfo, kColumnCount>& planningColumns() {
    return kColumns;
}

const ColumnInfo& columnInfo(Column id) {
    return kColumns[static_cast<std::size_t>(id)];
}

std::optional<Column> columnByName(QStringView name) {
    for (const auto& c : kColumns) {
        if (c.name.compare(name, Qt::CaseInsensitive) == 0) {
            return c.id;
        }
    }
    return std::nullopt;
}

const std::array<Column, kInsertDefaultCount>& insertDefaultOrder() {
    return kInsertDefaultOrder;
}

}  // namespace vk
