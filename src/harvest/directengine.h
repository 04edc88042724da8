#pragma once

#include "harvest/core/directfetcher.h"
#include "harvest/core/pagesaver.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace pagrim::store {
class DataSet;
}

// The page engines of a task: the browser, or plain HTTP fetches (libcurl)
// for sites whose content is in the HTML itself. Both go by the shared
// browser profile's cookies and User-Agent, so a login made in the login
// window carries over, and a session a site refreshes stays in force for both.
namespace pagrim::harvest {

// The shared profile's cookies as a jar; cookies stored in it go into the
// profile. Made with the profile, it follows its cookie store from the start.
CookieJar& profileCookies();

// The User-Agent of the shared profile's pages.
QByteArray profileUserAgent();

// Whether the current task of task (a task query) asks for the direct engine.
bool usesDirectEngine(store::DataSet& task);

// The browser of the list pages for a task of the direct engine.
std::unique_ptr<Browser> directBrowser(DirectBrowser::StatusSink showStatus,
                                       DirectBrowser::RunningTest running);

// Runs work with the browser of the list pages of the current task of task:
// browser itself, or for a task of the direct engine a DirectBrowser made for
// the run, which starts no renderer.
void withListBrowser(store::DataSet& task, Browser& browser, DirectBrowser::StatusSink showStatus,
                     DirectBrowser::RunningTest running, const std::function<void(Browser&)>& work);

// The fetchers of a saving run: pools of hidden browser pages, or direct
// fetchers. The browser's one-page-at-a-time run needs none; the direct
// engine always runs through the queue.
PageSaver::FetcherMaker pageFetchers(bool direct = false);

} // namespace pagrim::harvest
