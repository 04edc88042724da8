#include "demosite/site.h"

#include "platform/codepage.h"

#include <QDate>
#include <QRegularExpression>

namespace pagrim::demosite {

namespace {

const QStringList topics = {QStringLiteral("春季新品发布"), QStringLiteral("城市骑行指南"),
                            QStringLiteral("家常菜谱十则"), QStringLiteral("旧书市集见闻"),
                            QStringLiteral("山间徒步记录"), QStringLiteral("咖啡烘焙入门"),
                            QStringLiteral("阳台种菜心得")};

const QByteArray utf8Html = "text/html; charset=utf-8";
const QByteArray gbkHtml = "text/html; charset=GBK";

// A whole page. No line break stands where the browser would drop it or move
// it into the body (after the doctype, before <head>, after </body>), so the
// browser's copy of the document reads as served.
QString document(const QString& title, const QString& body, const char* charset = "utf-8")
{
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"%1\"><title>%2</title>"
                          "</head>\n<body>\n%3</body></html>")
        .arg(QLatin1String(charset), title, body);
}

QString link(const QString& href, const QString& text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(href, text);
}

QString nav()
{
    return QStringLiteral("<nav>%1 | %2 | %3 | %4</nav>\n")
        .arg(link(QStringLiteral("/index.html"), QStringLiteral("首页")),
             link(QStringLiteral("/list/1.html"), QStringLiteral("文章列表")),
             link(QStringLiteral("/member/1.html"), QStringLiteral("会员专区")),
             link(QStringLiteral("/about.html"), QStringLiteral("关于本站")));
}

Response html(const QString& text, int status = 200)
{
    Response r;
    r.status = status;
    r.contentType = utf8Html;
    r.body = text.toUtf8();
    return r;
}

// The number n of a path "/<folder>/<n>.html" with 1 <= n <= count, or 0.
int numbered(const QString& path, const char* folder, int count)
{
    static const QRegularExpression re(QStringLiteral("^/([a-z]+)/([1-9][0-9]{0,5})\\.html$"));
    const QRegularExpressionMatch m = re.match(path);
    if (!m.hasMatch() || m.captured(1) != QLatin1String(folder))
        return 0;
    const int n = m.captured(2).toInt();
    return n <= count ? n : 0;
}

bool loggedIn(const QByteArray& cookieHeader)
{
    for (const QByteArray& part : cookieHeader.split(';')) {
        const QByteArray c = part.trimmed();
        const qsizetype eq = c.indexOf('=');
        if (eq > 0 && c.left(eq) == SessionCookie && c.mid(eq + 1) == SessionValue)
            return true;
    }
    return false;
}

// The article's title, date, price and body, the part the example markers cut.
QString articleMain(const QString& title, const QString& date, const QString& priceLine,
                    const QStringList& body)
{
    return QStringLiteral("<h1 id=\"title\">%1</h1>\n<p id=\"date\">发布日期：%2</p>\n"
                          "<p id=\"price\">%3</p>\n<div id=\"content\">\n%4\n</div>\n")
        .arg(title, date, priceLine, body.join(QLatin1Char('\n')));
}

Response article(int n)
{
    QString body = nav();
    body += articleMain(articleTitle(n), articleDate(n),
                        QStringLiteral("价格：%1 元").arg(articlePrice(n)), articleBody(n));
    body += QStringLiteral("<p id=\"foot\">");
    if (n > 1)
        body += link(QStringLiteral("/article/%1.html").arg(n - 1), QStringLiteral("上一篇")) +
                QLatin1Char(' ');
    body += link(QStringLiteral("/article/%1.html#comments").arg(n), QStringLiteral("评论"));
    if (n < ArticleCount)
        body += QLatin1Char(' ') +
                link(QStringLiteral("/article/%1.html").arg(n + 1), QStringLiteral("下一篇"));
    body += QStringLiteral("</p>\n");
    return html(document(articleTitle(n), body));
}

// List page n: the articles of the page after a box of the two most read, with
// comment links, an editor's pick on page 2 that repeats an article of page 1
// in other letter case, and the page links.
Response listPage(int n)
{
    auto item = [](int a, const QString& text) {
        return QStringLiteral("<li>%1</li>\n")
            .arg(link(QStringLiteral("/article/%1.html").arg(a), text));
    };
    QString body = nav();
    body +=
        QStringLiteral("<h1>文章列表 第%1页</h1>\n<h2>热门文章</h2>\n<ul class=\"hot\">\n").arg(n);
    body += item(1, articleTitle(1)) + item(2, articleTitle(2));
    body += QStringLiteral("</ul>\n<h2>最新文章</h2>\n<ul class=\"list\">\n");
    const int first = (n - 1) * ArticlesPerListPage + 1;
    for (int a = first; a < first + ArticlesPerListPage; ++a)
        body += QStringLiteral("<li>%1 %2</li>\n")
                    .arg(link(QStringLiteral("/article/%1.html").arg(a), articleTitle(a)),
                         link(QStringLiteral("/article/%1.html#comments").arg(a),
                              QStringLiteral("评论")));
    body += QStringLiteral("</ul>\n");
    if (n == 2)
        body += QStringLiteral("<p class=\"pick\">编辑推荐：%1</p>\n")
                    .arg(link(QStringLiteral("/Article/3.html"), articleTitle(3)));
    body += QStringLiteral("<p class=\"pages\">");
    for (int p = 1; p <= ListPageCount; ++p)
        body += (p == n ? QString::number(p)
                        : link(QStringLiteral("/list/%1.html").arg(p), QString::number(p))) +
                QLatin1Char(' ');
    if (n < ListPageCount)
        body += link(QStringLiteral("/list/%1.html").arg(n + 1), QStringLiteral("下一页"));
    body += QStringLiteral("</p>\n<p>%1</p>\n")
                .arg(link(QStringLiteral("/partner.html"), QStringLiteral("合作网站")));
    return html(document(QStringLiteral("文章列表 第%1页").arg(n), body));
}

QString loginForm()
{
    return QStringLiteral(
        "<form id=\"login\" method=\"post\" action=\"/dologin\">\n"
        "<p>用户名：<input type=\"text\" id=\"user\" name=\"user\"></p>\n"
        "<p>密码：<input type=\"password\" id=\"password\" name=\"password\"></p>\n"
        "<p><input type=\"submit\" id=\"submit\" value=\"登录\"></p>\n"
        "</form>\n");
}

Response login()
{
    const QString body = nav() + QStringLiteral("<h1>会员登录</h1>\n") + loginForm() +
                         QStringLiteral("<p>示例账号：%1，密码：%2</p>\n")
                             .arg(QLatin1String(User), QLatin1String(Password));
    return html(document(QStringLiteral("会员登录"), body));
}

Response doLogin(const Request& rq)
{
    if (rq.params.value(QStringLiteral("user")) != QLatin1String(User) ||
        rq.params.value(QStringLiteral("password")) != QLatin1String(Password)) {
        const QString body = nav() + QStringLiteral("<h1>用户名或密码错误</h1>\n") + loginForm();
        return html(document(QStringLiteral("登录失败"), body));
    }
    QString members;
    for (int m = 1; m <= MemberCount; ++m)
        members += QStringLiteral("<li>%1</li>\n")
                       .arg(link(QStringLiteral("/member/%1.html").arg(m), memberTitle(m)));
    Response r =
        html(document(QStringLiteral("登录成功"),
                      nav() + QStringLiteral("<h1>登录成功</h1>\n<ul>\n%1</ul>\n").arg(members)));
    r.setCookie = QByteArray(SessionCookie) + '=' + SessionValue +
                  "; Path=/; Max-Age=" + QByteArray::number(SessionMaxAge);
    return r;
}

Response logout()
{
    Response r =
        html(document(QStringLiteral("已退出"), nav() + QStringLiteral("<h1>已退出登录</h1>\n")));
    r.setCookie = QByteArray(SessionCookie) + "=; Path=/; Max-Age=0";
    return r;
}

Response member(int n, const Request& rq)
{
    if (!loggedIn(rq.cookie)) {
        const QString body =
            nav() + QStringLiteral("<h1>请先登录</h1>\n<p>本页只对会员开放，请先%1。</p>\n")
                        .arg(link(QStringLiteral("/login.html"), QStringLiteral("登录")));
        return html(document(QStringLiteral("请先登录"), body));
    }
    const QString body =
        nav() + QStringLiteral("<h1 id=\"title\">%1</h1>\n<p id=\"price\">会员价：%2 元</p>\n"
                               "<p>%3</p>\n")
                    .arg(memberTitle(n), memberPrice(n),
                         link(QStringLiteral("/logout.html"), QStringLiteral("退出登录")));
    return html(document(memberTitle(n), body));
}

// An article-like page in GBK, declared in the header and in a meta tag.
Response gbk(int n)
{
    const QString title =
        QStringLiteral("国标编码页面%1：%2").arg(n).arg(topics.at(n % topics.size()));
    const QString body =
        nav() + articleMain(title, articleDate(n),
                            QStringLiteral("价格：%1 元").arg(articlePrice(n)),
                            {QStringLiteral("这一页以 GBK 编码送出。"),
                             QStringLiteral("浏览器按页头和页内声明的字符集读它。")});
    Response r;
    r.contentType = gbkHtml;
    r.body = codepage::fromUnicode(document(title, body, "gbk"), codepage::Gbk);
    return r;
}

Response frames()
{
    return html(QStringLiteral(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>框架页面</title></head>\n"
        "<frameset cols=\"30%,70%\">\n<frame src=\"/frame/left.html\" name=\"left\">\n"
        "<frame src=\"/frame/right.html\" name=\"right\">\n</frameset></html>"));
}

Response frame(bool left)
{
    if (left) {
        QString items;
        for (int a = 1; a <= 3; ++a)
            items += QStringLiteral("<li>%1</li>\n")
                         .arg(link(QStringLiteral("/article/%1.html").arg(a), articleTitle(a)));
        return html(
            document(QStringLiteral("左框架"), QStringLiteral("<ul>\n%1</ul>\n").arg(items)));
    }
    return html(document(QStringLiteral("右框架"), QStringLiteral("<h1>右框架</h1>\n")));
}

Response slow(const Request& rq)
{
    bool ok = false;
    int ms = rq.params.value(QStringLiteral("ms")).toInt(&ok);
    if (!ok)
        ms = SlowDefaultMs;
    ms = qBound(0, ms, SlowMaxMs);
    Response r =
        html(document(QStringLiteral("慢速页面"),
                      QStringLiteral("<h1>慢速页面</h1>\n<p>等了 %1 毫秒才回答。</p>\n").arg(ms)));
    r.delayMs = ms;
    return r;
}

Response index()
{
    QString body = QStringLiteral("<h1>Pagrim 示例站点</h1>\n<ul>\n");
    const QList<std::pair<QString, QString>> entries = {
        {QStringLiteral("/article/1.html"),
         QStringLiteral("文章（序数网页，1 至 %1）").arg(ArticleCount)},
        {QStringLiteral("/list/1.html"), QStringLiteral("文章列表（%1 页）").arg(ListPageCount)},
        {QStringLiteral("/login.html"),
         QStringLiteral("会员登录（%1/%2）").arg(QLatin1String(User), QLatin1String(Password))},
        {QStringLiteral("/member/1.html"), QStringLiteral("会员页面（需要登录）")},
        {QStringLiteral("/gbk/1.html"), QStringLiteral("GBK 编码的页面")},
        {QStringLiteral("/frames.html"), QStringLiteral("框架页面")},
        {QStringLiteral("/slow.html"), QStringLiteral("慢速页面")},
    };
    for (const auto& [href, text] : entries)
        body += QStringLiteral("<li>%1</li>\n").arg(link(href, text));
    body += QStringLiteral("</ul>\n");
    return html(document(QStringLiteral("Pagrim 示例站点"), body));
}

Response plain(const QString& title, const QString& text)
{
    return html(
        document(title, nav() + QStringLiteral("<h1>%1</h1>\n<p>%2</p>\n").arg(title, text)));
}

} // namespace

QString siteAddress(int port)
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(port);
}

QString articleTitle(int n)
{
    return QStringLiteral("示例文章%1：%2").arg(n).arg(topics.at((n - 1) % topics.size()));
}

QString articleDate(int n)
{
    return QDate(2024, 1, 1).addDays(qint64(n - 1) * 3).toString(QStringLiteral("yyyy-MM-dd"));
}

QString articlePrice(int n)
{
    const int cents = 1200 + (n * 1375) % 8800;
    return QStringLiteral("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0'));
}

QStringList articleBody(int n)
{
    return {QStringLiteral("这是示例站点的第 %1 篇文章，用来练习按标识提取内容。").arg(n),
            QStringLiteral("主题：%1；正文跨越三行。").arg(topics.at((n - 1) % topics.size())),
            QStringLiteral("第三行到此为止，文章编号 %1。").arg(n)};
}

QString memberTitle(int n)
{
    return QStringLiteral("会员专享%1：%2").arg(n).arg(topics.at((n + 2) % topics.size()));
}

QString memberPrice(int n)
{
    const int cents = 800 + (n * 990) % 5000;
    return QStringLiteral("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0'));
}

Response page(const Request& rq)
{
    const QString path = rq.path.toLower();
    if (path == QLatin1String("/") || path == QLatin1String("/index.html"))
        return index();
    if (const int n = numbered(path, "article", ArticleCount))
        return article(n);
    if (const int n = numbered(path, "list", ListPageCount))
        return listPage(n);
    if (const int n = numbered(path, "member", MemberCount))
        return member(n, rq);
    if (const int n = numbered(path, "gbk", GbkCount))
        return gbk(n);
    if (path == QLatin1String("/login.html"))
        return login();
    if (path == QLatin1String("/dologin"))
        return doLogin(rq);
    if (path == QLatin1String("/logout.html"))
        return logout();
    if (path == QLatin1String("/frames.html"))
        return frames();
    if (path == QLatin1String("/frame/left.html") || path == QLatin1String("/frame/right.html"))
        return frame(path == QLatin1String("/frame/left.html"));
    if (path == QLatin1String("/slow.html"))
        return slow(rq);
    if (path == QLatin1String("/about.html"))
        return plain(QStringLiteral("关于本站"),
                     QStringLiteral("本站由 pagrim-demosite 生成，每次内容都相同，供练习采集。"));
    if (path == QLatin1String("/partner.html"))
        return plain(QStringLiteral("合作网站"), QStringLiteral("这里没有可采集的文章。"));
    return html(
        document(QStringLiteral("页面不存在"), nav() + QStringLiteral("<h1>页面不存在</h1>\n")),
        404);
}

} // namespace pagrim::demosite
