#pragma once

#include "planning/PlanningColumns.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace vk {

// The differences between the databases the link reaches, in one place.
enum class SqlDialect {
    SqlServer,
    PostgreSQL,
    SQLite,
};

QString dialectName(SqlDialect dialect);

// The placeholder for a value of the column's type in an INSERT or UPDATE.
QString placeholderFor(SqlDialect dialect, ColumnType type);

// INSERT INTO planning (columns) VALUES (...) and what makes it return the new row's pla_id as
// its only result row.
QString insertReturningId(SqlDialect dialect, const QStringList& columns, const QStringList& placeholders);

// The rows of one order number, the one with the lowest pla_id first; one parameter.
QString selectByOrderNumber(SqlDialect dialect);

// Setting a savepoint inside a transaction, and going back to it.
QString savepointStatement(SqlDialect dialect, const QString& name);
QString rollbackToSavepointStatement(SqlDialect dialect, const QString& name);

// How a date and time is bound and read back (no zone: the date and time parts as they are).
QVariant bindableDateTime(SqlDialect dialect, const QDateTime& value);
QDateTime readDateTime(const QVariant& value);

// CREATE statements for planning and TRANSACTIES with their indexes, one statement an entry.
QStringList schemaStatements(SqlDialect dialect);
// The same as a script, as kept in schema/<dialect>.sql.
QString schemaScript(SqlDialect dialect);

}  // namespace vk
