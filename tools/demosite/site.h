#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// The example site: a small web site made in code, the same on every run, on
// which the example tasks harvest. Its markup is already in the form the
// embedded browser writes back when it saves a page (lowercase tags, quoted
// attributes, explicit html, head and body, no implied elements), so markers
// taken from the served pages match the saved ones.
namespace pagrim::demosite {

constexpr int DefaultPort = 8808;
constexpr int ArticleCount = 30;
constexpr int ListPageCount = 5;
constexpr int ArticlesPerListPage = 6;
constexpr int MemberCount = 5;
constexpr int GbkCount = 3;
constexpr int SlowDefaultMs = 2000;
constexpr int SlowMaxMs = 60000;

// The login the site accepts and the session cookie it sets for it.
inline constexpr char User[] = "demo";
inline constexpr char Password[] = "demo";
inline constexpr char SessionCookie[] = "demo_session";
inline constexpr char SessionValue[] = "member-7d1c2b";
constexpr int SessionMaxAge = 86400;

// "http://127.0.0.1:PORT/"
QString siteAddress(int port);

// What the article pages show; the example tasks cut these out.
QString articleTitle(int n);
QString articleDate(int n);
// "36.50"; the page shows it as "价格：36.50 元".
QString articlePrice(int n);
// The lines of the article's body, each on a line of its own in the page.
QStringList articleBody(int n);
QString memberTitle(int n);
QString memberPrice(int n);

struct Request
{
    QString method = QStringLiteral("GET");
    QString path;                  // "/article/1.html", without the query
    QMap<QString, QString> params; // query and form fields
    QByteArray cookie;             // the Cookie header as sent
};

struct Response
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QByteArray setCookie; // a Set-Cookie header, or empty
    int delayMs = 0;      // how long the server holds the answer back
};

// The site's answer to one request. Paths are matched without regard to case.
Response page(const Request& request);

} // namespace pagrim::demosite
