#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pagrim::cli {

// The result lines of a test extraction as the test window shows them: the
// header line as the title row and a row per further line, each split at the
// separator into the title's columns, a control character as a blank; the
// columns aligned by display width and two blanks apart, a line per row.
QString resultTable(const QList<QByteArray>& lines, const QByteArray& separator);

} // namespace pagrim::cli
