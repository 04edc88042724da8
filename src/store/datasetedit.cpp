#include "store/dataset.h"

#include "platform/errors.h"
#include "store/connection.h"
#include "store/rowwriter.h"

// Editing a row of a data set: its states, the values typed, and writing,
// cancelling or deleting the row.
namespace pagrim::store {

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
    const QVariant v = toFieldValue(value, def.type);
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

RowWriter& DataSet::writer()
{
    if (!m_writer)
        m_writer = std::make_unique<RowWriter>(m_conn.database(), m_fields, objectName());
    return *m_writer;
}

void DataSet::post()
{
    post([](const std::function<void()>& write) { write(); });
}

void DataSet::post(const StoreRunner& runStore)
{
    checkActive();
    if (!isEditing())
        return;
    updateRecord();
    const auto& row = m_rows[size_t(m_row)];
    const auto& was = m_backup.empty() ? row : m_backup;
    RowWriter& rows = writer();
    if (m_state == State::Insert)
        runStore([&] { rows.insert(row); });
    else
        runStore([&] { rows.update(row, was); });
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
    writer().remove(stored);
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

} // namespace pagrim::store
