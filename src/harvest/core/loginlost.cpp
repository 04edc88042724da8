#include "harvest/core/loginlost.h"

#include "harvest/core/browser.h"
#include "harvest/core/runhost.h"
#include "store/dataset.h"
#include "store/taskoptions.h"

#include <optional>
#include <utility>

namespace pagrim::harvest {

namespace {

QString where(int line, const QString& address)
{
    return line > 0 ? QStringLiteral("第 %1 行 %2").arg(line).arg(address) : address;
}

int portOf(const QUrl& url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

QString pathOf(const QUrl& url)
{
    const QString path = url.path(QUrl::FullyEncoded);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

} // namespace

LoginLost::LoginLost(int line, const QString& address)
    : Error(QStringLiteral("登录已失效：") + where(line, address)), m_line(line), m_address(address)
{
}

QString LoginLost::notTakenText() const
{
    return QStringLiteral("重新登录没有生效：") + where(m_line, m_address) +
           QStringLiteral(" 仍然要求登录。");
}

LoginCheck::LoginCheck(RunHost& host) : m_host(host)
{
    store::DataSet& task = host.TaskRecord();
    const QString login = task.field(QStringLiteral("LoginAddr")).asString().trimmed();
    if (!login.isEmpty())
        m_login = addressUrl(login);
    m_text =
        store::readTaskOptions(task.connection(), task.field(QStringLiteral("TaskID")).asInteger())
            .loggedOutText;
}

bool LoginCheck::loggedOut(const PageLoad& load) const
{
    const QUrl& at = load.address;
    if (m_login.isValid() && !at.isEmpty() && at.scheme() == m_login.scheme() &&
        at.host() == m_login.host() && portOf(at) == portOf(m_login) &&
        pathOf(at) == pathOf(m_login))
        return true;
    return !m_text.trimmed().isEmpty() && !load.document.isEmpty() &&
           m_host.PageShows(load.document, m_text);
}

bool LoginCheck::loggedOut(Browser& browser) const
{
    PageLoad load = browser.LastLoad();
    if (!m_text.trimmed().isEmpty())
        load.document = browser.ReadDocument();
    return loggedOut(load);
}

void runLoggedIn(const std::function<void()>& run,
                 const std::function<bool(const LoginLost&)>& logIn)
{
    std::optional<std::pair<int, QString>> lostAt;
    for (;;) {
        try {
            run();
            return;
        } catch (const LoginLost& lost) {
            const std::pair<int, QString> at{lost.line(), lost.address()};
            if (lostAt == at)
                throw;
            if (!logIn(lost))
                return;
            lostAt = at;
        }
    }
}

} // namespace pagrim::harvest
