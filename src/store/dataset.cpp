#include "store/dataset.h"

#include "platform/errors.h"
#include "store/connection.h"
#include "store/rowwriter.h"

namespace pagrim::store {

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
    return toInteger(value());
}

QString Field::asString() const
{
    return toText(value());
}

bool Field::asBoolean() const
{
    return toBoolean(value());
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
    setValue(fromText(text, m_ds->fieldDef(m_index).type));
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
    QStringList names;
    for (const auto& [name, value] : m_params)
        names << name;
    takeMasterParameters(names);
}

std::optional<QVariant> DataSet::masterValue(const QString& name) const
{
    if (!m_master)
        return std::nullopt;
    const int i = m_master->fieldIndex(name);
    if (i < 0)
        return std::nullopt;
    return m_master->valueAt(m_master->currentRow(), i);
}

void DataSet::takeMasterParameters(const QStringList& names)
{
    for (const QString& name : names)
        if (const auto value = masterValue(name))
            setParameter(name, *value);
}

void DataSet::refillFromMaster()
{
    if (!m_master)
        return;
    std::vector<std::pair<size_t, QVariant>> changes;
    for (size_t p = 0; p < m_params.size(); ++p) {
        const auto now = masterValue(m_params[p].first);
        const QVariant& was = m_params[p].second;
        if (now && (*now != was || now->isNull() != was.isNull()))
            changes.emplace_back(p, *now);
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
    runQuery();
}

void DataSet::runQuery()
{
    Statement st(m_conn.handle(), m_sql);
    QStringList names;
    for (int i = 1; i <= st.parameterCount(); ++i)
        names << st.parameterName(i);
    // Parameters the master knows come from its current row.
    takeMasterParameters(names);
    for (int i = 1; i <= st.parameterCount(); ++i)
        st.bind(i, parameter(names[i - 1]));

    std::vector<FieldDef> fields;
    for (int c = 0; c < st.columnCount(); ++c) {
        FieldDef def;
        def.name = st.columnName(c);
        const QString declared = st.columnDeclaredType(c);
        def.type = fieldTypeOf(declared);
        def.size = fieldSizeOf(declared);
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
    m_writer.reset();
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
    m_writer.reset();
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
    return toText(m_rows[size_t(row)][size_t(column)]);
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
