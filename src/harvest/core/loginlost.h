#pragma once

#include "harvest/core/pagefetcher.h"
#include "platform/errors.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>

namespace pagrim::harvest {

class Browser;
class RunHost;

// A run ended at a page that says the site has forgotten the login: line is
// its page list line, 0 for a list page.
class LoginLost : public Error
{
public:
    LoginLost(int line, const QString& address);
    int line() const { return m_line; }
    const QString& address() const { return m_address; }
    // The same page, said to be logged out once more right after a new login.
    QString notTakenText() const;

private:
    int m_line;
    QString m_address;
};

// What tells a logged-out page for the host's task: its shown text holds the
// task's LoggedOutText, or a redirect took it to the task's login address
// (scheme, host, port and path; the query left out).
class LoginCheck
{
public:
    explicit LoginCheck(RunHost& host);

    // Whether the load (with its document) is a logged-out page.
    bool loggedOut(const PageLoad& load) const;
    // The same for the page the browser holds; its document is read only
    // when the text is to be looked for.
    bool loggedOut(Browser& browser) const;

private:
    RunHost& m_host;
    QUrl m_login;
    QString m_text;
};

// Runs run, and after each login it lost logIn, then run again, which goes on
// where it stopped. A logIn that gives false (the user stopped the run) ends
// it. A login lost again at the very page it was lost at before is one that
// did not take: that LoginLost comes out.
void runLoggedIn(const std::function<void()>& run,
                 const std::function<bool(const LoginLost&)>& logIn);

} // namespace pagrim::harvest
