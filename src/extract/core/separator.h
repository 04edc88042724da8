#pragma once

#include <QByteArray>
#include <QList>

namespace pagrim::extract {

// The parts of a result line between the occurrences of the separator, compared
// byte for byte (so also from the middle of a double-byte character onward).
// k occurrences give k + 1 parts; the last part is kept even when empty. An
// empty separator occurs nowhere: the whole line is the one part.
QList<QByteArray> SplitBySeparator(const QByteArray& line, const QByteArray& separator);

} // namespace pagrim::extract
