#pragma once

// The resident size of the program and of the browser's processes, and the
// resident size and processor time of a process group, read from /proc, for
// the benchmarks that watch memory over long runs.

#include <QDir>
#include <QFile>
#include <QList>
#include <map>
#include <unistd.h>
#include <vector>

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

// A process as /proc/PID/stat shows it.
struct ProcessStat
{
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    long residentKb = 0;
    // User and system time, in clock ticks.
    long long cpuTicks = 0;
};

// Every process of the system.
inline std::map<pid_t, ProcessStat> processStats()
{
    static const long pageKb = sysconf(_SC_PAGESIZE) / 1024;
    std::map<pid_t, ProcessStat> stats;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const pid_t pid = pid_t(entry.toInt(&ok));
        if (!ok)
            continue;
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        // pid (name) state ppid pgrp ...: the name may hold blanks, so read
        // after ')', where state is the first field, utime the 12th, stime the
        // 13th and rss (in pages) the 22nd.
        const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 21)
            stats[pid] = {pid, pid_t(rest.at(1).toInt()), pid_t(rest.at(2).toInt()),
                          rest.at(21).toLong() * pageKb,
                          rest.at(11).toLongLong() + rest.at(12).toLongLong()};
    }
    return stats;
}

// True when pid is root or one of its descendants.
inline bool descendsFrom(const std::map<pid_t, ProcessStat>& stats, pid_t pid, pid_t root)
{
    for (pid_t up = pid; up > 1;) {
        if (up == root)
            return true;
        const auto it = stats.find(up);
        up = it == stats.end() ? 0 : it->second.parent;
    }
    return false;
}

// The processes of the group and those descending from its leader, which may
// have left the group.
inline std::vector<ProcessStat> groupStats(pid_t group)
{
    const std::map<pid_t, ProcessStat> stats = processStats();
    std::vector<ProcessStat> members;
    for (const auto& [pid, stat] : stats)
        if (stat.group == group || descendsFrom(stats, pid, group))
            members.push_back(stat);
    return members;
}

// The resident size of every descendant of this process (the browser's).
inline long browserKb()
{
    const std::map<pid_t, ProcessStat> stats = processStats();
    long total = 0;
    const pid_t self = getpid();
    for (const auto& [pid, stat] : stats)
        if (pid != self && descendsFrom(stats, pid, self))
            total += stat.residentKb;
    return total;
}

} // namespace pagrim::bench
