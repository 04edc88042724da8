#pragma once

// The resident size of the program and of the browser's processes, read from
// /proc, for the benchmarks that watch memory over long runs.

#include <QDir>
#include <QFile>
#include <QList>
#include <map>
#include <unistd.h>

namespace pagrim::bench {

// Resident size in KB of a process, 0 when it is gone.
inline long residentKb(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// The resident size of every descendant of this process (the browser's).
inline long browserKb()
{
    std::map<pid_t, pid_t> parent;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const pid_t pid = pid_t(entry.toInt(&ok));
        if (!ok)
            continue;
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        // pid (name) state ppid ...: the name may hold blanks, so read after ')'.
        const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1)
            parent[pid] = pid_t(rest.at(1).toInt());
    }
    long total = 0;
    const pid_t self = getpid();
    for (const auto& [pid, ppid] : parent) {
        for (pid_t up = ppid; up > 1; up = parent.count(up) ? parent[up] : 0) {
            if (up == self) {
                total += residentKb(pid);
                break;
            }
        }
    }
    return total;
}

} // namespace pagrim::bench
