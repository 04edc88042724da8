#include "extract/core/separator.h"

namespace pagrim::extract {

QList<QByteArray> SplitBySeparator(const QByteArray& line, const QByteArray& separator)
{
    QList<QByteArray> parts;
    qsizetype from = 0;
    if (!separator.isEmpty()) {
        for (qsizetype at = line.indexOf(separator); at >= 0; at = line.indexOf(separator, from)) {
            parts.append(line.mid(from, at - from));
            from = at + separator.size();
        }
    }
    parts.append(line.mid(from));
    return parts;
}

} // namespace pagrim::extract
