#pragma once

// The baseline of the page benchmarks: a bare WebEngine page that loads each
// page, waits for loadFinished, serializes the document and writes it.

#include "harvest/browserprofile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <memory>

namespace pagrim::bench {

// Loads urlOf(0) .. urlOf(pages - 1), saving page i as folder/(i + 1).Htm;
// gives pages per second. A page of its own has no size (its documents are
// laid out zero pixels wide) and is hidden; with a viewport, the page is shown
// in a view of that size instead.
inline double bareLoop(const std::function<QUrl(int)>& urlOf, int pages, const QString& folder,
                       QSize viewport = QSize())
{
    QWebEnginePage page(harvest::sharedBrowserProfile());
    std::unique_ptr<QWebEngineView> view;
    if (viewport.isValid()) {
        view = std::make_unique<QWebEngineView>();
        view->setPage(&page);
        view->resize(viewport);
        view->show();
    }
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < pages; ++i) {
        {
            QEventLoop loop;
            QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
            page.load(urlOf(i));
            loop.exec();
        }
        QString html;
        {
            QEventLoop loop;
            page.toHtml([&](const QString& text) {
                html = text;
                loop.quit();
            });
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        QFile file(QDir(folder).filePath(QStringLiteral("%1.Htm").arg(i + 1)));
        if (file.open(QIODevice::WriteOnly))
            file.write(html.toUtf8());
    }
    return pages * 1000.0 / double(qMax<qint64>(1, clock.elapsed()));
}

} // namespace pagrim::bench
