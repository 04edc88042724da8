#pragma once

// Runs of the execution window's 保存网页 handler for the benchmarks.
#include "platform/codepage.h"
#include "support/taskwindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>

namespace pagrim::bench {

inline double perSecond(int pages, qint64 ms)
{
    return pages * 1000.0 / double(qMax<qint64>(1, ms));
}

// A page list of the addresses, SaveCurrent 0, then a click on 保存网页 in the
// window; gives pages per second.
inline double saveRun(test::TaskWindow& window, const QStringList& addresses)
{
    QByteArray list;
    for (const QString& address : addresses)
        list += codepage::fromUnicode(address) + "\r\n";
    list +=
        codepage::fromUnicode(QStringLiteral("有效列表条数：%1").arg(addresses.size())) + "\r\n";
    QDir().mkpath(window.taskFolder());
    test::put(window.listFile(), list);
    window.tasks->edit();
    window.tasks->field(QStringLiteral("SaveCurrent")).setValue(0);
    window.tasks->post();

    QElapsedTimer clock;
    clock.start();
    window.button("btnSaveHtml")->click();
    const qint64 ms = clock.elapsed();
    const int pages = int(addresses.size());
    if (const int saved = window.tasks->field(QStringLiteral("SaveCurrent")).asInteger();
        saved != pages)
        std::printf("warning: the run saved %d of %d pages\n", saved, pages);
    return perSecond(pages, ms);
}

} // namespace pagrim::bench
