#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// The one conversion between stored values, text and the typed reads of a
// field: every reader and writer of a data set, and every widget that shows a
// field's value, goes through these, so they agree on what a value means.
namespace pagrim::store {

enum class FieldType
{
    Variant,
    Integer,
    Float,
    String,
    Boolean,
    DateTime
};

struct FieldDef
{
    QString name;
    FieldType type = FieldType::Variant;
    QString table;  // base table of the column, empty for expressions
    QString origin; // column name in that table
    int size = 0;   // declared width of a text column, 0 when unlimited
    bool calculated = false;
};

// The field type and text width of a declared column type ("varchar(255)").
FieldType fieldTypeOf(const QString& declared);
int fieldSizeOf(const QString& declared);

// A value read from the engine in the type of its field.
QVariant fromEngine(const QVariant& value, FieldType type);
// A value written to a field, in the field's type; ConversionError when the
// value cannot be one. NULL stays NULL.
QVariant toFieldValue(const QVariant& value, FieldType type);
// Text typed into a field: blank text is NULL, the rest as toFieldValue.
QVariant fromText(const QString& text, FieldType type);

// Reads. NULL reads as 0, "" and false.
int toInteger(const QVariant& value);        // ConversionError for text that is no integer
bool toBoolean(const QVariant& value);       // "true" in any case, or a non-zero number
QString toText(const QVariant& value);       // True/False, dates as yyyy-MM-dd HH:mm:ss
QDateTime toDateTime(const QVariant& value); // invalid when the value is no date

} // namespace pagrim::store
