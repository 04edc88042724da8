// Page list generation in the execution window, driven by clicks, with the real
// browser against pages served on 127.0.0.1.
#include "harvest/browserprofile.h"
#include "support/httpserver.h"
#include "support/taskwindow.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace pagrim;
using test::child;

namespace {

// A run that is still waiting by then is stopped, so that a hang fails fast.
constexpr int Watchdog = 30000;

const QString Create = QStringLiteral("生成列表");

} // namespace

class TstPageListWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir profileDir;
    std::unique_ptr<test::HttpServer> server;
    std::unique_ptr<test::TaskWindow> m_w;

    void addTask(bool ordinal, const QString& resAddr, int start, int end, int current,
                 const QString& first = QString(), const QString& next = QString())
    {
        test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task,
                      test::listColumns(ordinal, resAddr, start, end, current, first, next));
    }
    QPushButton* create() { return m_w->button("btnCreateLst"); }
    QPushButton* save() { return m_w->button("btnSaveHtml"); }
    QListWidget* list() { return child<QListWidget>(m_w->frm.get(), "ListBox1"); }
    int current() { return m_w->tasks->field(QStringLiteral("ResCurrent")).asInteger(); }
    QStringList shown()
    {
        QStringList lines;
        for (int i = 0; i < list()->count(); ++i)
            lines.append(list()->item(i)->text());
        return lines;
    }
    // Clicks btnCreateLst; false when the watchdog had to stop the run.
    bool clickCreate() { return m_w->click("btnCreateLst", Watchdog); }
    QString news(int n) const { return server->address(QStringLiteral("/news/%1.htm").arg(n)); }
    // A list page task over /list/index.htm and /list/p*.htm.
    void addListTask(int start, int end, int current)
    {
        // The first list page without a scheme, as an address bar takes it.
        addTask(false, server->address(QStringLiteral("/news/*")), start, end, current,
                QStringLiteral("127.0.0.1:%1/list/index.htm").arg(server->port()),
                server->address(QStringLiteral("/list/p*.htm")));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(profileDir.isValid());
        harvest::setBrowserProfileFolderForTesting(profileDir.path());
        server = std::make_unique<test::HttpServer>();
        server->setPage(QStringLiteral("/list/index.htm"),
                        "<html><body>"
                        "<a href=\"../news/1.htm\">1</a> <a href=\"/about.htm\">about</a>"
                        "<a href=\"/NEWS/1.htm\">same</a>"
                        "<iframe src=\"/list/frame.htm\"></iframe>"
                        "<img usemap=\"#m\"><map name=\"m\"><area href=\"/news/2.htm\"></map>"
                        "</body></html>");
        server->setPage(QStringLiteral("/list/frame.htm"),
                        "<html><body><a href=\"/news/99.htm\">in a frame</a></body></html>");
        server->setPage(QStringLiteral("/list/p1.htm"),
                        "<html><body><a href=\"/news/3.htm\">3</a></body></html>");
        server->setPage(QStringLiteral("/list/p2.htm"),
                        "<html><body><a href=\"/news/2.htm\">2</a><a href=\"/news/4.htm\">4</a>"
                        "</body></html>");
    }
    void init() { m_w = std::make_unique<test::TaskWindow>(); }
    void cleanup() { m_w.reset(); }

    void listPageRun()
    {
        addListTask(1, 2, 0);
        m_w->open();
        QVERIFY(clickCreate());
        // Frames' links are not the page's; /NEWS/1.htm differs only in case.
        const QStringList expected{news(1), news(2), news(3), news(4),
                                   QStringLiteral("有效列表条数：4   去掉重复条数：2")};
        QCOMPARE(shown(), expected);
        QCOMPARE(list()->currentRow(), 4);
        QCOMPARE(test::contents(m_w->listFile()), test::crlfLines(expected));
        QCOMPARE(current(), 2);
        QCOMPARE(m_w->stored("ResCurrent"), 2);
        QCOMPARE(server->hits(QStringLiteral("/list/p1.htm")), 1);
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());
        QCOMPARE(m_w->boxes.count(), 0);

        QVERIFY(test::savePicture(m_w->frm.get(), QStringLiteral("pagelist")));

        // Done: a second click is refused, and changes nothing.
        QVERIFY(clickCreate());
        QCOMPARE(m_w->boxes.count(), 1);
        QCOMPARE(m_w->boxes.last().text,
                 QStringLiteral("已经生成了所有列表。要重新处理，请修改任务参数。"));
        QCOMPARE(m_w->boxes.last().caption, QStringLiteral("提示信息"));
        QCOMPARE(m_w->boxes.last().icon, ui::Icon::Information);
        QCOMPARE(m_w->boxes.last().buttons, ui::Buttons::Ok);
        QCOMPARE(m_w->boxes.last().owner, static_cast<QWidget*>(m_w->frm.get()));
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());
        QCOMPARE(server->hits(QStringLiteral("/list/index.htm")), 1);
    }

    void stopWhileListPageHeldBack()
    {
        const QString held = QStringLiteral("/list/p2.htm");
        server->setHeldPage(held, "<html><body><a href=\"/news/4.htm\">4</a></body></html>");
        addListTask(1, 3, 0);
        m_w->open();
        const int hitsBefore = server->hits(held);
        test::when(
            m_w->frm.get(), [&] { return server->hits(held) > hitsBefore; },
            [&] { QTest::mouseClick(create(), Qt::LeftButton); });
        QVERIFY(clickCreate());
        server->release(held);
        // The held page is left out and its number not posted.
        const QStringList expected{news(1), news(2), news(3),
                                   QStringLiteral("有效列表条数：3   去掉重复条数：1")};
        QCOMPARE(shown(), expected);
        QCOMPARE(test::contents(m_w->listFile()), test::crlfLines(expected));
        QCOMPARE(m_w->stored("ResCurrent"), 1);
        QVERIFY(!m_w->frm->Running());
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());
        QCOMPARE(server->hits(QStringLiteral("/list/p3.htm")), 0);
        server->setPage(held, "<html><body><a href=\"/news/2.htm\">2</a>"
                              "<a href=\"/news/4.htm\">4</a></body></html>");
    }

    void ordinalRunAndUnmadeFolder()
    {
        addTask(true, QStringLiteral("www.site.com/show.asp?id=*"), 1, 3, 0);
        QVERIFY(QDir().mkpath(m_w->world.workPath() + QStringLiteral("WorkDir")));
        test::put(m_w->taskFolder(), "a file where the task folder belongs");
        m_w->open();
        QVERIFY(clickCreate());
        QCOMPARE(m_w->boxes.count(), 1);
        QCOMPARE(m_w->boxes.last().text, QStringLiteral("工作路径访问失败！."));
        QCOMPARE(m_w->stored("ResCurrent"), 0);
        QCOMPARE(current(), 0);
        // The failed run leaves its buttons until the next click.
        QCOMPARE(create()->text(), QStringLiteral("停止"));
        QVERIFY(!save()->isEnabled());
        QTest::mouseClick(create(), Qt::LeftButton);
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());

        QVERIFY(QFile::remove(m_w->taskFolder()));
        QVERIFY(clickCreate());
        // Kept as produced: no scheme is added.
        const QStringList expected{QStringLiteral("www.site.com/show.asp?id=1"),
                                   QStringLiteral("www.site.com/show.asp?id=2"),
                                   QStringLiteral("www.site.com/show.asp?id=3"),
                                   QStringLiteral("有效列表条数：3")};
        QCOMPARE(shown(), expected);
        QCOMPARE(test::contents(m_w->listFile()), test::crlfLines(expected));
        QCOMPARE(m_w->stored("ResCurrent"), 3);
        QCOMPARE(m_w->boxes.count(), 1);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TstPageListWindow t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_pagelistwindow.moc"
