#include "demosite/examples.h"

#include "demosite/site.h"
#include "store/sqlite.h"

#include <QDateTime>

namespace pagrim::demosite {

namespace {

// The fields of an article page; the body runs over three lines, between the
// line of its opening tag and the line of its closing one.
QList<ExampleField> articleFields(bool withBody)
{
    QList<ExampleField> fields = {
        {QStringLiteral("标题"), QStringLiteral("<h1 id=\"title\">"), QStringLiteral("</h1>")},
        {QStringLiteral("日期"), QStringLiteral("<p id=\"date\">发布日期："),
         QStringLiteral("</p>")},
        {QStringLiteral("价格"), QStringLiteral("<p id=\"price\">价格："),
         QStringLiteral(" 元</p>")},
    };
    if (withBody)
        fields.append({QStringLiteral("正文"), QStringLiteral("<div id=\"content\">\r\n"),
                       QStringLiteral("\r\n</div>")});
    return fields;
}

// Columns left empty stay NULL, as the program leaves them.
QVariant text(const QString& s)
{
    return s.isEmpty() ? QVariant() : QVariant(s);
}

int nextKey(store::Database& db, const char* sql)
{
    store::Statement st(db.handle(), QLatin1String(sql));
    return st.step() ? st.columnValue(0).toInt() + 1 : 1;
}

} // namespace

QList<ExampleTask> exampleTasks(const QString& site)
{
    ExampleTask ordinal;
    ordinal.name = QStringLiteral("示例1 文章序数");
    ordinal.desc = QStringLiteral("示例站点的文章 1 至 20：提取地址中的 * 换成序数");
    ordinal.addr = site + QStringLiteral("article/*.html");
    ordinal.start = 1;
    ordinal.end = 20;
    ordinal.fields = articleFields(true);

    ExampleTask list;
    list.name = QStringLiteral("示例2 文章列表");
    list.desc = QStringLiteral("从示例站点的列表第 1 至 3 页收集文章链接，去掉重复的");
    list.ordinal = false;
    list.listAddr = site + QStringLiteral("list/1.html");
    list.nextPageAddr = site + QStringLiteral("list/*.html");
    list.addr = site + QStringLiteral("article/*.html");
    list.start = 1;
    list.end = 3;
    list.fields = articleFields(false);

    ExampleTask member;
    member.name = QStringLiteral("示例3 会员页面");
    member.desc =
        QStringLiteral("先在登录窗口登录（用户名 demo，密码 demo），再采集会员页面 1 至 5");
    member.addr = site + QStringLiteral("member/*.html");
    member.loginAddr = site + QStringLiteral("login.html");
    member.start = 1;
    member.end = MemberCount;
    member.fields = {
        {QStringLiteral("标题"), QStringLiteral("<h1 id=\"title\">"), QStringLiteral("</h1>")},
        {QStringLiteral("会员价"), QStringLiteral("<p id=\"price\">会员价："),
         QStringLiteral(" 元</p>")},
    };
    return {ordinal, list, member};
}

void addExampleTasks(store::Database& db, const QString& site)
{
    int taskId = nextKey(db, "select max(TaskID) from Tasks");
    int descId = nextKey(db, "select max(DescID) from Descs");
    const QDateTime now = QDateTime::currentDateTime();
    store::Statement task(
        db.handle(),
        QStringLiteral(
            "insert into Tasks (TaskID, TaskName, TaskDesc, WebName, WebType, "
            "ResLstAddr, ResAddr, TaskDate, LoginAddr, NextPageAddr, ResStart, ResEnd, "
            "ResCurrent, SaveCurrent) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0)"));
    store::Statement desc(db.handle(),
                          QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, "
                                         "DescStart, DescEnd) values (?, ?, ?, 1, ?, ?)"));
    for (const ExampleTask& t : exampleTasks(site)) {
        const QVariantList values = {taskId,
                                     t.name,
                                     t.desc,
                                     QStringLiteral("Pagrim 示例站点"),
                                     t.ordinal,
                                     text(t.listAddr),
                                     t.addr,
                                     now,
                                     text(t.loginAddr),
                                     text(t.nextPageAddr),
                                     t.start,
                                     t.end};
        task.reset();
        for (int i = 0; i < values.size(); ++i)
            task.bind(i + 1, values.at(i));
        task.step();
        for (const ExampleField& f : t.fields) {
            desc.reset();
            const QVariantList d = {descId++, taskId, f.name, f.start, f.end};
            for (int i = 0; i < d.size(); ++i)
                desc.bind(i + 1, d.at(i));
            desc.step();
        }
        ++taskId;
    }
}

} // namespace pagrim::demosite
