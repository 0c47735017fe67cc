#include "planning/PlanningRecord.h"

#include <QSqlField>

#include "planning/SqlDialect.h"
#include "platform/AnsiCodePage.h"
#include "platform/Errors.h"

#include <QSqlRecord>

namespace vk {

QString ansiForm(const QString& value, int size) {
    return ansi::decode(ansi::encode(value).left(size));
}

PlanningRecord::PlanningRecord(PlanningDatabase& ado, const Settings& settings, TemporaryKeys& keys,
                               const Clock& clock)
    : ado_(ado), settings_(settings), keys_(keys), clock_(clock) {}

void PlanningRecord::Close() {
    open_ = false;
    isNew_ = false;
    values_.fill(QVariant());
    assigned_.reset();
    rowId_.reset();
}

void PlanningRecord::requireOpen() const {
    if (!open_) {
        throw DatabaseError(QStringLiteral("Er is geen planningsrij geopend"));
    }
}

// The columns the link relies on must all be there: asked once for every connect.
namespace {

// Whether a column, as its driver reports it, is of the kind the link writes into it: a whole
// number, a date and time, a decimal, or text. SQLite knows only whole numbers apart; ODBC drivers
// also tell dates and times, and give the native type that tells decimals from texts.
bool fitsColumnType(const QSqlField& field, ColumnType type, SqlDialect dialect) {
    const int id = field.metaType().id();
    const bool whole = id == QMetaType::Int || id == QMetaType::UInt || id == QMetaType::LongLong ||
                       id == QMetaType::ULongLong || id == QMetaType::Short || id == QMetaType::UShort;
    const bool dateTime = id == QMetaType::QDateTime || id == QMetaType::QDate || id == QMetaType::QTime;
    const int native = field.typeID();
    const bool decimal =
        id == QMetaType::Double || native == 2 /* SQL_NUMERIC */ || native == 3 /* SQL_DECIMAL */;
    switch (type) {
        case ColumnType::Identity:
        case ColumnType::Integer:
            return whole;
        case ColumnType::DateTime:
            return dialect == SqlDialect::SQLite ? !whole : dateTime;
        case ColumnType::Amount:
            return dialect == SqlDialect::SQLite ? !whole : decimal;
        case ColumnType::Text:
        case ColumnType::WideMemo:
            return !whole && !dateTime && (dialect == SqlDialect::SQLite || !decimal);
    }
    return true;
}

}  // namespace

void PlanningRecord::checkColumns() {
    ado_.open();
    if (checkedConnection_ == ado_.connectionNumber()) {
        return;
    }
    QSqlQuery& q = ado_.execute(QStringLiteral("SELECT * FROM planning WHERE 1=0"), {});
    const QSqlRecord record = q.record();
    q.finish();
    for (const ColumnInfo& c : planningColumns()) {
        const int index = record.indexOf(c.name.toString());
        if (index < 0) {
            throw DatabaseError(QStringLiteral("Kolom %1 ontbreekt in de tabel planning").arg(c.name));
        }
        if (!fitsColumnType(record.field(index), c.type, ado_.dialect())) {
            throw DatabaseError(QStringLiteral("Kolom %1 van de tabel planning heeft een ander type (%2)")
                                    .arg(c.name, QString::fromLatin1(record.field(index).metaType().name())));
        }
    }
    checkedConnection_ = ado_.connectionNumber();
}

void PlanningRecord::appendNew() {
    Close();
    checkColumns();
    open_ = true;
    isNew_ = true;
    ADOINSAfterInsert();
}

bool PlanningRecord::editByOrderNumber(int orderNumber) {
    Close();
    checkColumns();
    QSqlQuery& q = ado_.execute(selectByOrderNumber(ado_.dialect()), {orderNumber});
    if (!q.next()) {
        q.finish();
        return false;
    }
    const QSqlRecord record = q.record();
    for (const ColumnInfo& c : planningColumns()) {
        const QVariant v = record.value(c.name.toString());
        switch (c.type) {
            case ColumnType::Identity:
            case ColumnType::Integer:
                values_[index(c.id)] = v.isNull() ? QVariant() : QVariant(v.toInt());
                break;
            case ColumnType::DateTime:
                values_[index(c.id)] = v.isNull() ? QVariant() : QVariant(readDateTime(v));
                break;
            case ColumnType::Amount:
                if (const auto amount = Amount::parse(v.toString()); amount && !v.isNull()) {
                    values_[index(c.id)] = QVariant::fromValue(amount->cents());
                }
                break;
            case ColumnType::Text:
            case ColumnType::WideMemo:
                values_[index(c.id)] = v.isNull() ? QVariant() : QVariant(v.toString());
                break;
        }
    }
    q.finish();
    rowId_ = values_[index(Column::pla_id)].toInt();
    open_ = true;
    isNew_ = false;
    return true;
}

void PlanningRecord::ADOINSAfterInsert() {
    for (const Column column : insertDefaultOrder()) {
        const ColumnInfo& c = columnInfo(column);
        switch (c.insertDefault) {
            case InsertDefault::Value:
                if (c.type == ColumnType::Integer) {
                    setInteger(column, c.defaultValue.toInt());
                } else if (c.type == ColumnType::Amount) {
                    setAmount(column, *Amount::parse(c.defaultValue));
                } else {
                    setText(column, c.defaultValue.toString());
                }
                break;
            case InsertDefault::TemporaryKey:
                setText(column, keys_.next());
                break;
            case InsertDefault::Now:
                setDateTime(column, clock_.now());
                break;
            case InsertDefault::Tariefcode:
                setInteger(column, settings_.number(Setting::Tariefcode));
                break;
            case InsertDefault::None:
                break;
        }
    }
}

void PlanningRecord::assign(Column column, QVariant value) {
    requireOpen();
    if (columnInfo(column).type == ColumnType::Identity) {
        throw DatabaseError(QStringLiteral("Kolom %1 wordt door de database gevuld").arg(columnName(column)));
    }
    values_[index(column)] = std::move(value);
    assigned_.set(index(column));
}

void PlanningRecord::setInteger(Column column, int value) {
    assign(column, value);
}

void PlanningRecord::setText(Column column, const QString& value) {
    // never NULL: an empty text is stored as an empty text
    QString stored = ansiForm(value, columnInfo(column).size);
    if (stored.isNull()) {
        stored = QStringLiteral("");
    }
    assign(column, stored);
}

void PlanningRecord::setDateTime(Column column, const QDateTime& value) {
    assign(column, QDateTime(value.date(), value.time(), Qt::UTC));
}

void PlanningRecord::setAmount(Column column, Amount value) {
    assign(column, QVariant::fromValue(value.cents()));
}

void PlanningRecord::setMemo(Column column, const QString& value) {
    assign(column, value.isNull() ? QStringLiteral("") : value);
}

QVariant PlanningRecord::bindable(Column column) const {
    const QVariant& v = values_[index(column)];
    if (v.isNull()) {
        return v;
    }
    switch (columnInfo(column).type) {
        case ColumnType::DateTime:
            return bindableDateTime(ado_.dialect(), v.toDateTime());
        case ColumnType::Amount:
            return Amount::fromCents(v.toLongLong()).toString();
        default:
            return v;
    }
}

const QString& PlanningRecord::statementFor(SqlDialect dialect) {
    // The same columns give the same statement: it is built once per column set and kind.
    const std::uint64_t key = (assigned_.to_ullong() << 1) | (isNew_ ? 1 : 0);
    auto& cache = statements_[static_cast<std::size_t>(dialect)];
    auto it = cache.find(key);
    if (it != cache.end()) {
        return it->second;
    }
    QStringList columns;
    QStringList placeholders;
    for (const ColumnInfo& c : planningColumns()) {
        if (assigned_.test(index(c.id))) {
            columns << c.name.toString();
            placeholders << placeholderFor(dialect, c.type);
        }
    }
    QString sql;
    if (isNew_) {
        sql = insertReturningId(dialect, columns, placeholders);
    } else {
        QStringList assignments;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            assignments << columns[i] + QStringLiteral(" = ") + placeholders[i];
        }
        sql = QStringLiteral("UPDATE planning SET %1 WHERE pla_id = ?")
                  .arg(assignments.join(QStringLiteral(", ")));
    }
    return cache.emplace(key, std::move(sql)).first->second;
}

void PlanningRecord::save() {
    requireOpen();
    ado_.open();
    if (!isNew_ && assigned_.none()) {
        return;
    }
    QVariantList values;
    values.reserve(static_cast<qsizetype>(assigned_.count()) + 1);
    for (const ColumnInfo& c : planningColumns()) {
        if (assigned_.test(index(c.id))) {
            values << bindable(c.id);
        }
    }
    const QString& sql = statementFor(ado_.dialect());
    if (isNew_) {
        QSqlQuery& q = ado_.execute(sql, values);
        const bool haveId = q.next();
        const QVariant id = haveId ? q.value(0) : QVariant();
        q.finish();
        if (!haveId || id.isNull()) {
            throw DatabaseError(QStringLiteral("De database gaf geen pla_id voor de nieuwe planningsrij"));
        }
        rowId_ = id.toInt();
        values_[index(Column::pla_id)] = *rowId_;
        isNew_ = false;
    } else {
        values << *rowId_;
        ado_.execute(sql, values).finish();
    }
    assigned_.reset();
}

std::optional<int> findSavedRow(PlanningDatabase& ado, const QString& key, int orderNumber) {
    QSqlQuery& q =
        ado.execute(QStringLiteral("SELECT pla_id FROM planning WHERE pla_temp = ? AND pla_extern = ?"),
                    {key, orderNumber});
    std::optional<int> id;
    if (q.next()) {
        id = q.value(0).toInt();
    }
    q.finish();
    return id;
}

}  // namespace vk
