#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <vector>

namespace pagrim::extract {

// The values of a run's result rows as cut, kept beside the lines that join
// them with the separator: the workbook is made of these, so a value holding
// the separator stays one cell. All values share one buffer, so a run of many
// pages costs little more than their bytes.
class ResultTable
{
public:
    // Empties the table for rows of the named columns (program code page);
    // shownText tells the columns whose values are shown text (by default none).
    void reset(QList<QByteArray> columns, std::vector<bool> shownText = {})
    {
        m_columns = std::move(columns);
        m_shownText = std::move(shownText);
        m_bytes.clear();
        m_ends.clear();
    }
    const QList<QByteArray>& columns() const { return m_columns; }
    // Whether the values of the column are shown text, in which "&#N;" stands
    // for a character the code page cannot hold (codepage::fromUnicodeWithReferences).
    bool shownText(qsizetype column) const
    {
        return size_t(column) < m_shownText.size() && m_shownText[size_t(column)];
    }
    qsizetype rowCount() const
    {
        return m_columns.isEmpty() ? 0 : qsizetype(m_ends.size()) / m_columns.size();
    }
    // Empty where the field was not found.
    QByteArrayView value(qsizetype row, qsizetype column) const
    {
        const size_t at = size_t(row * m_columns.size() + column);
        const qsizetype from = at == 0 ? 0 : m_ends[at - 1];
        return QByteArrayView(m_bytes).sliced(from, m_ends[at] - from);
    }
    // The values of a row follow each other in column order, row after row.
    void append(QByteArrayView value)
    {
        m_bytes.append(value);
        m_ends.push_back(m_bytes.size());
    }

private:
    QList<QByteArray> m_columns;
    std::vector<bool> m_shownText;
    QByteArray m_bytes;
    std::vector<qsizetype> m_ends; // where each value ends in m_bytes
};

} // namespace pagrim::extract
