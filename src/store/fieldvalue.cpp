#include "store/fieldvalue.h"

#include "platform/errors.h"

#include <QRegularExpression>
#include <optional>

namespace pagrim::store {

namespace {

const QString dateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Text as a Boolean: "true"/"false" in any case, or an integer (non-zero is
// true); nothing for any other text.
std::optional<bool> booleanFromText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const qlonglong n = t.toLongLong(&ok);
    if (ok)
        return n != 0;
    return std::nullopt;
}

int integerFromText(const QString& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok)
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return n;
}

bool isText(const QVariant& v)
{
    return v.typeId() == QMetaType::QString;
}

} // namespace

FieldType fieldTypeOf(const QString& declared)
{
    const QString t = declared.toUpper();
    if (t.isEmpty())
        return FieldType::Variant;
    if (t.startsWith(QLatin1String("BOOL")) || t == QLatin1String("BIT") ||
        t == QLatin1String("YESNO"))
        return FieldType::Boolean;
    if (t.startsWith(QLatin1String("DATE")) || t.startsWith(QLatin1String("TIME")))
        return FieldType::DateTime;
    if (t.contains(QLatin1String("INT")) || t == QLatin1String("COUNTER"))
        return FieldType::Integer;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("NUMERIC")))
        return FieldType::Float;
    return FieldType::String;
}

int fieldSizeOf(const QString& declared)
{
    static const QRegularExpression width(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
    const auto m = width.match(declared);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QDateTime toDateTime(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (!isText(v))
        return {};
    const QString s = v.toString().trimmed();
    // The store's own form, read by hand: the general parser costs more than
    // the rest of opening a large task query.
    if (s.size() == 19 && s[4] == QLatin1Char('-') && s[7] == QLatin1Char('-') &&
        s[10] == QLatin1Char(' ') && s[13] == QLatin1Char(':') && s[16] == QLatin1Char(':')) {
        const auto num = [&s](int from, int len) {
            int n = 0;
            for (int i = from; i < from + len; ++i) {
                const char16_t c = s[i].unicode();
                if (c < u'0' || c > u'9')
                    return -1;
                n = n * 10 + (c - u'0');
            }
            return n;
        };
        const QDate date(num(0, 4), num(5, 2), num(8, 2));
        const QTime time(num(11, 2), num(14, 2), num(17, 2));
        if (date.isValid() && time.isValid())
            return QDateTime(date, time);
    }
    QDateTime dt = QDateTime::fromString(s, dateFormat);
    if (!dt.isValid())
        dt = QDateTime::fromString(s, Qt::ISODate);
    return dt;
}

QVariant fromEngine(const QVariant& v, FieldType type)
{
    if (v.isNull())
        return {};
    switch (type) {
    case FieldType::Integer:
        return QVariant(v.toInt());
    case FieldType::Boolean:
        return QVariant(toBoolean(v));
    case FieldType::DateTime: {
        const QDateTime dt = toDateTime(v);
        return dt.isValid() ? QVariant(dt) : v;
    }
    case FieldType::String:
        return QVariant(v.toString());
    case FieldType::Float:
        return QVariant(v.toDouble());
    case FieldType::Variant:
        break;
    }
    return v;
}

QVariant toFieldValue(const QVariant& v, FieldType type)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (type) {
    case FieldType::Integer: {
        if (isText(v))
            return QVariant(integerFromText(v.toString()));
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!ok)
            throw ConversionError(
                QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
        return QVariant(n);
    }
    case FieldType::Float: {
        if (!isText(v))
            return v;
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        if (!ok)
            throw ConversionError(
                QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
        return QVariant(d);
    }
    case FieldType::Boolean: {
        if (!isText(v))
            return QVariant(v.toBool());
        const std::optional<bool> b = booleanFromText(v.toString());
        if (!b)
            throw ConversionError(
                QStringLiteral("'%1' is not a valid boolean value").arg(v.toString()));
        return QVariant(*b);
    }
    case FieldType::DateTime: {
        // A stored value that is no date (copied from another row) is kept as it is.
        const QDateTime dt = toDateTime(v);
        return dt.isValid() ? QVariant(dt) : v;
    }
    case FieldType::String:
        return QVariant(v.toString());
    case FieldType::Variant:
        break;
    }
    return v;
}

QVariant fromText(const QString& text, FieldType type)
{
    const bool blank = type == FieldType::String || type == FieldType::Variant
                           ? text.isEmpty()
                           : text.trimmed().isEmpty();
    if (blank)
        return {};
    // Typed text must be a date; toFieldValue keeps what it cannot read.
    if (type == FieldType::DateTime && !toDateTime(text).isValid())
        throw ConversionError(QStringLiteral("'%1' is not a valid date and time").arg(text));
    return toFieldValue(QVariant(text), type);
}

int toInteger(const QVariant& v)
{
    if (v.isNull())
        return 0;
    if (isText(v))
        return integerFromText(v.toString());
    return v.toInt();
}

bool toBoolean(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return false;
    if (isText(v))
        return booleanFromText(v.toString()).value_or(false);
    return v.toBool();
}

QString toText(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(dateFormat);
    return v.toString();
}

} // namespace pagrim::store
