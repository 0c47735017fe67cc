#pragma once

#include "planning/Amount.h"
#include "planning/PlanningColumns.h"
#include "planning/PlanningDatabase.h"
#include "planning/SqlDialect.h"
#include "planning/TemporaryKey.h"
#include "platform/Clock.h"
#include "settings/Settings.h"

#include <QDateTime>
#include <QVariant>

#include <array>
#include <bitset>
#include <optional>
#include <unordered_map>

namespace vk {

// The text a text column keeps of a value: its form in the ANSI code page (characters the code
// page lacks replaced), cut to size characters.
QString ansiForm(const QString& value, int size);

// The pla_id of a planning row that carries the temporary key and the order number (pla_extern),
// if there is one. Raises a DatabaseError when the database cannot be asked.
std::optional<int> findSavedRow(PlanningDatabase& ado, const QString& key, int orderNumber);

// "ADOINS": the one planning row being created or changed. A new row is appended with the
// insert defaults; an existing row is opened by its order number. Saving sends an INSERT of the
// assigned columns, or an UPDATE of the changed ones, and learns the row's pla_id.
class PlanningRecord {
public:
    PlanningRecord(PlanningDatabase& ado, const Settings& settings, TemporaryKeys& keys, const Clock& clock);

    // Opens an empty result with the table's columns and appends a new row, which receives the
    // insert defaults (ADOINSAfterInsert). A row not saved before is discarded.
    void appendNew();
    // Opens the rows of one order number and edits the one with the lowest pla_id. Returns false
    // (and leaves nothing open) when there is none.
    bool editByOrderNumber(int orderNumber);
    // Discards the row, saved or not.
    void Close();
    bool isOpen() const { return open_; }
    bool isNew() const { return isNew_; }

    // The insert defaults, in their order; the tariff is read from its setting at this moment.
    void ADOINSAfterInsert();

    void setInteger(Column column, int value);
    void setText(Column column, const QString& value);  // ANSI form, cut to the column's size
    void setDateTime(Column column, const QDateTime& value);
    void setAmount(Column column, Amount value);
    void setMemo(Column column, const QString& value);  // Unicode of any length

    QVariant value(Column column) const { return values_[index(column)]; }
    QString text(Column column) const { return values_[index(column)].toString(); }
    bool isAssigned(Column column) const { return assigned_.test(index(column)); }

    // Saves the row. Raises a DatabaseError when the database refuses it; the row then stays
    // unsaved and open.
    void save();
    // The pla_id of the row, once it is saved (or, for an existing row, as it was read).
    std::optional<int> rowId() const { return rowId_; }

    PlanningDatabase& database() const { return ado_; }

private:
    static std::size_t index(Column c) { return static_cast<std::size_t>(c); }
    void assign(Column column, QVariant value);
    void requireOpen() const;
    void checkColumns();
    QVariant bindable(Column column) const;
    const QString& statementFor(SqlDialect dialect);

    PlanningDatabase& ado_;
    const Settings& settings_;
    TemporaryKeys& keys_;
    const Clock& clock_;

    bool open_ = false;
    bool isNew_ = false;
    std::array<QVariant, kColumnCount> values_;
    std::bitset<kColumnCount> assigned_;  // new row: assigned at all; existing row: changed
    std::optional<int> rowId_;
    int checkedConnection_ = 0;
    std::array<std::unordered_map<std::uint64_t, QString>, 3> statements_;  // by dialect
};

}  // namespace vk
