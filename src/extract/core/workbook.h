#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The result workbook (Infos.xlsx), made of a run's result table through
// libxlsxwriter.
namespace pagrim::extract {

class ResultTable;

// The task's name as a worksheet may carry it: cut to 31 characters, each of
// [ ] : * ? / \ and an apostrophe first or last turned into "_"; "Sheet1" for
// an empty name, "History_" for the one name a spreadsheet program keeps.
QString SheetName(const QString& taskName);

// The workbook of a run: one sheet named after the task; row 1 holds "序号"
// and the column names, bold, frozen above the rest, under an autofilter over
// the used columns; then a row per table row, its number in column A and every
// value as text, decoded from codePage (a shown-text column with its references
// of what the code page cannot hold undone). Columns fit the first 200 rows within
// 6 to 60 character widths. libxlsxwriter writes it to the file scratch, which
// is read back and removed, also on failure. False, with the reason, when the
// workbook cannot be made.
bool MakeWorkbook(const ResultTable& table, const QString& taskName, int codePage,
                  const QString& scratch, QByteArray& bytes, QString& reason);

} // namespace pagrim::extract
