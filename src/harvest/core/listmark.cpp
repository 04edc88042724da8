#include "harvest/core/listmark.h"

#include "platform/filewrite.h"

#include <QFile>
#include <QList>

namespace pagrim::harvest {

namespace {

QByteArray text(const ListMark::Entry& e)
{
    return QByteArray::number(e.counter) + "\r\n" + e.summary.toUtf8() + "\r\n" +
           QByteArray::number(e.stored) + "\r\n";
}

} // namespace

void ListMark::find(const QString& summary, int stored)
{
    m_trusted = false;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype at = 0; at + 2 < lines.size(); at += 3) {
        bool counterOk = false, storedOk = false;
        Entry e;
        e.counter = lines.at(at).trimmed().toInt(&counterOk);
        e.summary = QString::fromUtf8(lines.at(at + 1)).trimmed();
        e.stored = lines.at(at + 2).trimmed().toInt(&storedOk);
        if (counterOk && storedOk && e.summary == summary.trimmed() && e.stored == stored) {
            m_entry = e;
            m_trusted = true;
            return;
        }
    }
}

void ListMark::writeWithList(const QString& listPath, const QByteArray& listText, const Entry& next)
{
    writeFileOrThrow(m_path, text(next) + (m_trusted ? text(m_entry) : QByteArray()));
    writeFileOrThrow(listPath, listText);
    m_entry = next;
    m_trusted = true;
}

} // namespace pagrim::harvest
