#include "cli/resulttable.h"

#include "cli/terminal.h"
#include "extract/core/separator.h"
#include "platform/codepage.h"
#include "platform/text.h"

#include <QStringList>

namespace pagrim::cli {

namespace {

QString cellText(const QByteArray& value)
{
    QString text = codepage::toUnicode(value);
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

QString resultTable(const QList<QByteArray>& lines, const QByteArray& separator)
{
    QList<QStringList> rows;
    QList<int> widths;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> parts = extract::SplitBySeparator(line, separator);
        // The title row decides the columns; a line's further values are not shown.
        if (rows.isEmpty())
            widths.resize(parts.size());
        QStringList cells;
        for (qsizetype c = 0; c < widths.size(); ++c) {
            cells << (c < parts.size() ? cellText(parts[c]) : QString());
            widths[c] = qMax(widths[c], textColumns(cells.last()));
        }
        rows << cells;
    }
    QString table;
    for (const QStringList& cells : std::as_const(rows)) {
        QString line;
        for (qsizetype c = 0; c < cells.size(); ++c)
            line += c + 1 < cells.size() ? padded(cells[c], widths[c]) + QStringLiteral("  ")
                                         : cells[c];
        table += line + QLatin1Char('\n');
    }
    return table;
}

} // namespace pagrim::cli
