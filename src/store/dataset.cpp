#include "store/dataset.h"

#include "platform/errors.h"
#include "store/connection.h"

#include <QRegularExpression>
#include <sqlite3.h>

namespace pagrim::store {

namespace {

FieldType typeOf(const QString& declared)
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

int sizeOf(const QString& declared)
{
    static const QRegularExpression width(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
    const auto m = width.match(declared);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

const QString dateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString quoteName(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

QDateTime toDateTime(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        // The store's own form, read by hand: the general parser costs more
        // than the rest of opening a large task query.
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
    return {};
}

// A value read from the engine in the type of its field.
QVariant fromEngine(const QVariant& v, FieldType type)
{
    if (v.isNull())
        return {};
    switch (type) {
    case FieldType::Integer:
        return QVariant(v.toInt());
    case FieldType::Boolean:
        return QVariant(v.toLongLong() != 0);
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

} // namespace

// ---- Field

const QString& Field::name() const
{
    return m_ds->fieldDef(m_index).name;
}
QVariant Field::value() const
{
    return m_ds->valueAt(m_ds->currentRow(), m_index);
}
bool Field::isNull() const
{
    return value().isNull();
}

int Field::asInteger() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const int n = v.toString().trimmed().toInt(&ok);
        if (!ok)
            throw ConversionError(
                QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
        return n;
    }
    return v.toInt();
}

QString Field::asString() const
{
    const QVariant v = value();
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(dateFormat);
    return v.toString();
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == QLatin1String("true") || s == QLatin1String("1");
    }
    return v.toLongLong() != 0;
}

QDateTime Field::asDateTime() const
{
    return toDateTime(value());
}

void Field::setValue(const QVariant& value) const
{
    m_ds->setValueAt(m_index, value);
}

void Field::setAsString(const QString& text) const
{
    const FieldDef& def = m_ds->fieldDef(m_index);
    switch (def.type) {
    case FieldType::Integer: {
        if (text.trimmed().isEmpty()) {
            setValue({});
            return;
        }
        bool ok = false;
        const int n = text.trimmed().toInt(&ok);
        if (!ok)
            throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
        setValue(n);
        return;
    }
    case FieldType::Float: {
        if (text.trimmed().isEmpty()) {
            setValue({});
            return;
        }
        bool ok = false;
        const double d = text.trimmed().toDouble(&ok);
        if (!ok)
            throw ConversionError(
                QStringLiteral("'%1' is not a valid floating point value").arg(text));
        setValue(d);
        return;
    }
    case FieldType::Boolean: {
        const QString t = text.trimmed().toLower();
        if (t.isEmpty())
            setValue({});
        else if (t == QLatin1String("true") || t == QLatin1String("1"))
            setValue(true);
        else if (t == QLatin1String("false") || t == QLatin1String("0"))
            setValue(false);
        else
            throw ConversionError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
        return;
    }
    case FieldType::DateTime: {
        if (text.trimmed().isEmpty()) {
            setValue({});
            return;
        }
        const QDateTime dt = toDateTime(text.trimmed());
        if (!dt.isValid())
            throw ConversionError(QStringLiteral("'%1' is not a valid date and time").arg(text));
        setValue(dt);
        return;
    }
    case FieldType::String:
    case FieldType::Variant:
        setValue(text.isEmpty() ? QVariant() : QVariant(text));
        return;
    }
}

// ---- DataSet

DataSet::DataSet(Connection& connection, QObject* parent) : QObject(parent), m_conn(connection) {}

DataSet::~DataSet()
{
    setMasterSource(nullptr);
}

void DataSet::setCommandText(const QString& sql)
{
    close();
    m_sql = sql;
}

void DataSet::setParameter(const QString& name, const QVariant& value)
{
    for (auto& [n, v] : m_params)
        if (n.compare(name, Qt::CaseInsensitive) == 0) {
            v = value;
            return;
        }
    m_params.emplace_back(name, value);
}

QVariant DataSet::parameter(const QString& name) const
{
    for (const auto& [n, v] : m_params)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

void DataSet::addCalculatedField(const QString& name, std::function<QString(int)> getText)
{
    m_calculated.emplace_back(name, std::move(getText));
}

void DataSet::setMasterSource(DataSet* master)
{
    disconnect(m_masterCurrent);
    disconnect(m_masterRow);
    disconnect(m_masterReset);
    m_master = master;
    if (!master)
        return;
    // The master's notices may come from inside its own operations; a failed
    // re-run leaves this query closed rather than escaping into the master.
    auto follow = [this] {
        try {
            refillFromMaster();
        } catch (const Error&) {
            close();
        }
    };
    m_masterCurrent = connect(master, &DataSet::currentChanged, this, follow);
    m_masterReset = connect(master, &DataSet::layoutReset, this, follow);
    m_masterRow = connect(master, &DataSet::rowChanged, this, [this, follow](int row) {
        if (m_master && row == m_master->currentRow())
            follow();
    });
    for (auto& [name, value] : m_params) {
        const int i = master->fieldIndex(name);
        if (i >= 0)
            value = master->valueAt(master->currentRow(), i);
    }
}

void DataSet::refillFromMaster()
{
    if (!m_master)
        return;
    std::vector<std::pair<size_t, QVariant>> changes;
    for (size_t p = 0; p < m_params.size(); ++p) {
        const int i = m_master->fieldIndex(m_params[p].first);
        if (i < 0)
            continue;
        const QVariant now = m_master->valueAt(m_master->currentRow(), i);
        const QVariant& was = m_params[p].second;
        if (now != was || now.isNull() != was.isNull())
            changes.emplace_back(p, now);
    }
    if (changes.empty())
        return;
    // A pending row of this query belongs to the old master row: write it
    // first. When that fails the parameters stay, so the next notice retries.
    if (isActive() && isEditing()) {
        try {
            post();
        } catch (const Error&) {
            return;
        }
    }
    for (auto& [p, now] : changes)
        m_params[p].second = now;
    if (isActive())
        runQuery();
}

void DataSet::open()
{
    if (isActive())
        return;
    if (m_master) {
        for (auto& [name, value] : m_params) {
            const int i = m_master->fieldIndex(name);
            if (i >= 0)
                value = m_master->valueAt(m_master->currentRow(), i);
        }
    }
    runQuery();
}

void DataSet::runQuery()
{
    Statement st(m_conn.handle(), m_sql);
    for (int i = 1; i <= st.parameterCount(); ++i) {
        const QString name = st.parameterName(i);
        // Parameters the master knows come from its current row.
        if (m_master) {
            const int f = m_master->fieldIndex(name);
            if (f >= 0)
                setParameter(name, m_master->valueAt(m_master->currentRow(), f));
        }
        st.bind(i, parameter(name));
    }

    std::vector<FieldDef> fields;
    for (int c = 0; c < st.columnCount(); ++c) {
        FieldDef def;
        def.name = st.columnName(c);
        const QString declared = st.columnDeclaredType(c);
        def.type = typeOf(declared);
        def.size = sizeOf(declared);
        def.table = st.columnTable(c);
        def.origin = st.columnOrigin(c);
        fields.push_back(def);
    }
    std::vector<std::vector<QVariant>> rows;
    while (st.step()) {
        std::vector<QVariant> row(fields.size() + m_calculated.size());
        for (size_t c = 0; c < fields.size(); ++c)
            row[c] = fromEngine(st.columnValue(int(c)), fields[c].type);
        rows.push_back(std::move(row));
    }
    m_getText.assign(fields.size(), {});
    for (const auto& [name, getText] : m_calculated) {
        FieldDef def;
        def.name = name;
        def.type = FieldType::Integer;
        def.calculated = true;
        fields.push_back(def);
        m_getText.push_back(getText);
    }
    m_fields = std::move(fields);
    m_rows = std::move(rows);
    m_backup.clear();
    m_row = m_rows.empty() ? -1 : 0;
    m_rowBeforeInsert = -1;
    m_bof = true;
    m_eof = m_rows.empty();
    m_state = State::Browse;
    notifyReset();
    Q_EMIT stateChanged();
}

void DataSet::close()
{
    if (m_state == State::Inactive)
        return;
    m_rows.clear();
    m_fields.clear();
    m_getText.clear();
    m_backup.clear();
    m_row = -1;
    m_eof = m_bof = true;
    m_state = State::Inactive;
    notifyReset();
    Q_EMIT stateChanged();
}

int DataSet::fieldIndex(const QString& name) const
{
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

Field DataSet::field(const QString& name)
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    return Field(*this, i);
}

Field DataSet::field(int index)
{
    if (index < 0 || index >= fieldCount())
        throw DatabaseError(QStringLiteral("%1: Field index out of range").arg(objectName()));
    return Field(*this, index);
}

QVariant DataSet::valueAt(int row, int column) const
{
    if (row < 0 || row >= recordCount() || column < 0 || column >= fieldCount())
        return {};
    if (m_fields[size_t(column)].calculated)
        return displayText(row, column);
    return m_rows[size_t(row)][size_t(column)];
}

QString DataSet::displayText(int row, int column) const
{
    if (row < 0 || row >= recordCount() || column < 0 || column >= fieldCount())
        return {};
    if (const auto& getText = m_getText[size_t(column)])
        return getText(row);
    const QVariant v = m_rows[size_t(row)][size_t(column)];
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(dateFormat);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v.toString();
}

void DataSet::checkActive() const
{
    if (!isActive())
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset")
                                .arg(objectName()));
}

void DataSet::requireCurrent() const
{
    checkActive();
    if (m_row < 0)
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on an empty dataset")
                                .arg(objectName()));
}

void DataSet::checkBrowseMode()
{
    checkActive();
    if (isEditing())
        post();
}

void DataSet::first()
{
    checkBrowseMode();
    m_row = m_rows.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.empty();
    notifyCurrent();
}

void DataSet::next()
{
    checkBrowseMode();
    if (m_row + 1 < recordCount()) {
        ++m_row;
        m_bof = false;
        notifyCurrent();
    } else {
        m_eof = true;
    }
}

void DataSet::prior()
{
    checkBrowseMode();
    if (m_row > 0) {
        --m_row;
        m_eof = false;
        notifyCurrent();
    } else {
        m_bof = true;
    }
}

void DataSet::last()
{
    checkBrowseMode();
    m_row = recordCount() - 1;
    m_eof = true;
    m_bof = m_rows.empty();
    notifyCurrent();
}

void DataSet::moveTo(int row)
{
    checkActive();
    if (row < 0 || row >= recordCount())
        return;
    if (row == m_row)
        return;
    checkBrowseMode();
    m_row = row;
    m_bof = m_eof = false;
    notifyCurrent();
}

void DataSet::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void DataSet::append()
{
    checkBrowseMode();
    m_rowBeforeInsert = m_row;
    m_rows.emplace_back(m_fields.size());
    m_row = recordCount() - 1;
    m_bof = false;
    m_eof = true;
    m_state = State::Insert;
    notifyReset();
    Q_EMIT stateChanged();
    if (m_afterInsert) {
        // A row that its handler could not fill is not left pending.
        try {
            m_afterInsert(*this);
        } catch (...) {
            cancel();
            throw;
        }
    }
}

void DataSet::edit()
{
    checkActive();
    if (isEditing())
        return;
    if (m_rows.empty()) {
        append();
        return;
    }
    m_backup = m_rows[size_t(m_row)];
    setState(State::Edit);
}

void DataSet::setValueAt(int column, const QVariant& value)
{
    requireCurrent();
    if (!isEditing())
        throw DatabaseError(
            QStringLiteral("%1: Dataset not in edit or insert mode").arg(objectName()));
    const FieldDef& def = m_fields.at(size_t(column));
    if (def.calculated)
        return;
    QVariant v = value;
    if (!v.isNull() && v.isValid()) {
        switch (def.type) {
        case FieldType::Integer: {
            bool ok = false;
            const int n =
                v.typeId() == QMetaType::QString ? v.toString().trimmed().toInt(&ok) : v.toInt(&ok);
            if (!ok)
                throw ConversionError(
                    QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
            v = QVariant(n);
            break;
        }
        case FieldType::Boolean:
            if (v.typeId() == QMetaType::QString) {
                const QString t = v.toString().trimmed().toLower();
                if (t != QLatin1String("true") && t != QLatin1String("false") &&
                    t != QLatin1String("1") && t != QLatin1String("0"))
                    throw ConversionError(
                        QStringLiteral("'%1' is not a valid boolean value").arg(v.toString()));
                v = QVariant(t == QLatin1String("true") || t == QLatin1String("1"));
            } else {
                v = QVariant(v.toBool());
            }
            break;
        case FieldType::String:
            v = QVariant(v.toString());
            break;
        case FieldType::DateTime:
            v = toDateTime(v).isValid() ? QVariant(toDateTime(v)) : v;
            break;
        default:
            break;
        }
    }
    auto& cell = m_rows[size_t(m_row)][size_t(column)];
    if (cell == v && cell.isNull() == v.isNull() && cell.typeId() == v.typeId())
        return;
    cell = v;
    notifyRow(m_row);
}

void DataSet::updateRecord()
{
    for (const auto& [id, flush] : m_flushers)
        flush();
}

int DataSet::addFlusher(Flusher flusher)
{
    m_flushers.emplace_back(m_nextFlusher, std::move(flusher));
    return m_nextFlusher++;
}

void DataSet::removeFlusher(int id)
{
    std::erase_if(m_flushers, [id](const auto& f) { return f.first == id; });
}

QString DataSet::baseTable() const
{
    for (const FieldDef& f : m_fields)
        if (!f.calculated && !f.table.isEmpty())
            return f.table;
    throw DatabaseError(
        QStringLiteral("%1: Insufficient key column information for updating").arg(objectName()));
}

std::vector<int> DataSet::keyColumns() const
{
    const QString table = baseTable();
    std::vector<int> keys;
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const FieldDef& f = m_fields[i];
        if (f.calculated || f.table.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        int primaryKey = 0;
        if (sqlite3_table_column_metadata(m_conn.handle(), nullptr, table.toUtf8().constData(),
                                          f.origin.toUtf8().constData(), nullptr, nullptr, nullptr,
                                          &primaryKey, nullptr) == SQLITE_OK &&
            primaryKey)
            keys.push_back(int(i));
    }
    if (keys.empty())
        throw DatabaseError(QStringLiteral("%1: Insufficient key column information for updating")
                                .arg(objectName()));
    return keys;
}

void DataSet::writeRow(bool insert)
{
    const QString table = baseTable();
    std::vector<int> columns;
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (!m_fields[i].calculated && m_fields[i].table.compare(table, Qt::CaseInsensitive) == 0)
            columns.push_back(int(i));
    const auto quote = quoteName;
    const auto& row = m_rows[size_t(m_row)];
    QStringList names;
    for (int c : columns)
        names << quote(m_fields[size_t(c)].origin);
    if (insert) {
        QStringList marks;
        for (size_t i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        Statement st(m_conn.handle(), QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                          .arg(quote(table), names.join(QLatin1Char(',')),
                                               marks.join(QLatin1Char(','))));
        for (size_t i = 0; i < columns.size(); ++i)
            st.bind(int(i) + 1, row[size_t(columns[i])]);
        st.step();
        return;
    }
    const std::vector<int> keys = keyColumns();
    QStringList sets, where;
    for (const QString& n : names)
        sets << n + QStringLiteral("=?");
    for (int k : keys)
        where << quote(m_fields[size_t(k)].origin) + QStringLiteral("=?");
    Statement st(m_conn.handle(), QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                      .arg(quote(table), sets.join(QLatin1Char(',')),
                                           where.join(QLatin1String(" AND "))));
    int n = 1;
    for (int c : columns)
        st.bind(n++, row[size_t(c)]);
    for (int k : keys)
        st.bind(n++, m_backup.empty() ? row[size_t(k)] : m_backup[size_t(k)]);
    st.step();
    // A row that another writer removed must not be reported as written.
    if (sqlite3_changes(m_conn.handle()) == 0)
        throw DatabaseError(QStringLiteral("Row cannot be located for updating. Some values may "
                                           "have been changed since it was last read."));
}

void DataSet::post()
{
    checkActive();
    if (!isEditing())
        return;
    updateRecord();
    writeRow(m_state == State::Insert);
    m_backup.clear();
    setState(State::Browse);
    notifyRow(m_row);
}

void DataSet::cancel()
{
    if (!isEditing())
        return;
    if (m_state == State::Insert) {
        // The cancelled row leaves no trace; the row current before it is again.
        m_rows.erase(m_rows.begin() + m_row);
        m_row = m_rowBeforeInsert >= 0 && m_rowBeforeInsert < recordCount() ? m_rowBeforeInsert
                : m_rows.empty()                                            ? -1
                                                                            : recordCount() - 1;
        m_rowBeforeInsert = -1;
        m_bof = m_row <= 0;
        m_eof = m_rows.empty();
        m_state = State::Browse;
        notifyReset();
        Q_EMIT stateChanged();
        return;
    }
    if (!m_backup.empty())
        m_rows[size_t(m_row)] = m_backup;
    m_backup.clear();
    setState(State::Browse);
    notifyRow(m_row);
}

void DataSet::deleteRecord()
{
    requireCurrent();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    // The row is deleted as stored; a pending edit stays, with what was typed,
    // when the store refuses the delete.
    const std::vector<QVariant>& stored =
        m_state == State::Edit && !m_backup.empty() ? m_backup : m_rows[size_t(m_row)];
    const std::vector<int> keys = keyColumns();
    QStringList where;
    for (int k : keys)
        where << quoteName(m_fields[size_t(k)].origin) + QStringLiteral("=?");
    Statement st(m_conn.handle(),
                 QStringLiteral("DELETE FROM %1 WHERE %2")
                     .arg(quoteName(baseTable()), where.join(QLatin1String(" AND "))));
    int n = 1;
    for (int k : keys)
        st.bind(n++, stored[size_t(k)]);
    st.step();
    m_backup.clear();
    m_rows.erase(m_rows.begin() + m_row);
    if (m_row >= recordCount())
        m_row = recordCount() - 1;
    m_eof = m_rows.empty();
    m_bof = m_rows.empty();
    m_state = State::Browse;
    notifyReset();
    Q_EMIT stateChanged();
}

void DataSet::disableControls()
{
    ++m_disabled;
}

void DataSet::enableControls()
{
    if (m_disabled == 0)
        return;
    if (--m_disabled > 0)
        return;
    // The narrowest notice that covers what changed meanwhile: a walk that only
    // wrote values must not reset a grid's whole model.
    const bool reset = std::exchange(m_pendingReset, false);
    const std::set<int> rows = std::exchange(m_pendingRows, {});
    const bool current = std::exchange(m_pendingCurrent, false);
    if (reset) {
        Q_EMIT layoutReset();
        Q_EMIT currentChanged(m_row);
        return;
    }
    for (int row : rows)
        Q_EMIT rowChanged(row);
    if (current)
        Q_EMIT currentChanged(m_row);
}

void DataSet::notifyReset()
{
    if (m_disabled > 0) {
        m_pendingReset = true;
        return;
    }
    Q_EMIT layoutReset();
    Q_EMIT currentChanged(m_row);
}

void DataSet::notifyRow(int row)
{
    if (m_disabled > 0) {
        m_pendingRows.insert(row);
        return;
    }
    Q_EMIT rowChanged(row);
}

void DataSet::notifyCurrent()
{
    if (m_disabled > 0) {
        m_pendingCurrent = true;
        return;
    }
    Q_EMIT currentChanged(m_row);
}

std::unique_ptr<DataSet> CreateScratchQuery(Connection& connection)
{
    return std::make_unique<DataSet>(connection);
}

int allocateKey(Connection& connection, const QString& maxStatement)
{
    auto query = CreateScratchQuery(connection);
    query->setCommandText(maxStatement);
    query->open();
    return query->field(0).asInteger() + 1;
}

} // namespace pagrim::store
