// Page list generation in the execution window, driven by clicks, with the real
// browser against pages served on 127.0.0.1.
#include "harvest/browserprofile.h"
#include "harvest/ufrmProcess.h"
#include "platform/settings.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/sqlite.h"
#include "support/httpserver.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

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
    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<test::MessageRecorder> boxes;
    std::unique_ptr<test::BeepCounter> beeps;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<store::DataSet> tasks;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TfrmProcess> frm;

    void addTask(bool ordinal, const QString& resAddr, int start, int end, int current,
                 const QString& first = QString(), const QString& next = QString())
    {
        store::Database db;
        db.open(world->storePath());
        store::Statement st(db.handle(),
                            QStringLiteral("insert into Tasks (TaskID, TaskName, WebType, ResAddr, "
                                           "ResLstAddr, NextPageAddr, ResStart, ResEnd, "
                                           "ResCurrent, SaveCurrent) values (1, '任务', ?, ?, ?, "
                                           "?, ?, ?, ?, 0)"));
        const QVariantList values{ordinal, resAddr, first, next, start, end, current};
        for (int i = 0; i < values.size(); ++i)
            st.bind(i + 1, values[i]);
        st.step();
    }
    TfrmProcess& open()
    {
        conn = std::make_unique<store::Connection>();
        conn->open();
        tasks = std::make_unique<store::DataSet>(*conn);
        tasks->setCommandText(QStringLiteral("select * from Tasks order by TaskID"));
        tasks->open();
        frm = std::make_unique<TfrmProcess>(*tasks, *conn, *settings);
        frm->setTaskRecord(tasks.get());
        frm->show();
        return *frm;
    }
    QPushButton* create() { return child<QPushButton>(frm.get(), "btnCreateLst"); }
    QPushButton* save() { return child<QPushButton>(frm.get(), "btnSaveHtml"); }
    QListWidget* list() { return child<QListWidget>(frm.get(), "ListBox1"); }
    QString taskFolder() const { return world->workPath() + QStringLiteral("WorkDir/任务"); }
    QString listPath() const { return taskFolder() + QStringLiteral("/ResHtmls.lst"); }
    int current() { return tasks->field(QStringLiteral("ResCurrent")).asInteger(); }
    int storedCurrent() const
    {
        store::Database db;
        db.open(world->storePath());
        store::Statement st(db.handle(), QStringLiteral("select ResCurrent from Tasks"));
        st.step();
        return st.columnValue(0).toInt();
    }
    QStringList shown()
    {
        QStringList lines;
        for (int i = 0; i < list()->count(); ++i)
            lines.append(list()->item(i)->text());
        return lines;
    }
    // Clicks btnCreateLst; a run that has not returned when the watchdog fires
    // is stopped by a second click.
    void clickCreate()
    {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [this] {
            if (frm->Running())
                QTest::mouseClick(create(), Qt::LeftButton);
        });
        watchdog.start(Watchdog);
        QTest::mouseClick(create(), Qt::LeftButton);
        QVERIFY2(watchdog.isActive(), "the run needed the watchdog's stop");
    }
    QString news(int n) const { return server->address(QStringLiteral("/news/%1.htm").arg(n)); }
    // A list page task over /list/index.htm and /list/p*.htm.
    void addListTask(int start, int end, int current)
    {
        // The first list page without a scheme, as an address bar takes it.
        addTask(false, server->address(QStringLiteral("/news/*")), start, end, current,
                QStringLiteral("127.0.0.1:%1/list/index.htm").arg(server->port()),
                server->address(QStringLiteral("/list/p*.htm")));
    }
    QByteArray crlf(const QStringList& lines)
    {
        QByteArray bytes;
        for (const QString& line : lines)
            bytes += line.toUtf8() + "\r\n";
        return bytes;
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
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        boxes = std::make_unique<test::MessageRecorder>();
        beeps = std::make_unique<test::BeepCounter>();
        settings = std::make_unique<Settings>(world->settingsPath());
        QVERIFY(QDir().mkpath(world->workPath()));
        settings->WriteString(QStringLiteral("SysConfig"), QStringLiteral("WorkPath"),
                              world->workPath());
    }
    void cleanup()
    {
        if (frm && frm->isVisible())
            frm->close();
        frm.reset();
        tasks.reset();
        conn.reset();
        settings.reset();
        beeps.reset();
        boxes.reset();
        world.reset();
    }

    void listPageRun()
    {
        addListTask(1, 2, 0);
        open();
        clickCreate();
        // Frames' links are not the page's; /NEWS/1.htm differs only in case.
        const QStringList expected{news(1), news(2), news(3), news(4),
                                   QStringLiteral("有效列表条数：4   去掉重复条数：2")};
        QCOMPARE(shown(), expected);
        QCOMPARE(list()->currentRow(), 4);
        QCOMPARE(test::contents(listPath()), crlf(expected));
        QCOMPARE(current(), 2);
        QCOMPARE(storedCurrent(), 2);
        QCOMPARE(server->hits(QStringLiteral("/list/p1.htm")), 1);
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());
        QCOMPARE(boxes->count(), 0);

        const QString dir =
            qEnvironmentVariable("PAGRIM_SHOTS", QCoreApplication::applicationDirPath() +
                                                     QStringLiteral("/screenshots"));
        QDir().mkpath(dir);
        QVERIFY(frm->grab().save(dir + QStringLiteral("/pagelist.png")));

        // Done: a second click is refused, and changes nothing.
        clickCreate();
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text,
                 QStringLiteral("已经生成了所有列表。要重新处理，请修改任务参数。"));
        QCOMPARE(boxes->last().caption, QStringLiteral("提示信息"));
        QCOMPARE(boxes->last().icon, ui::Icon::Information);
        QCOMPARE(boxes->last().buttons, ui::Buttons::Ok);
        QCOMPARE(boxes->last().owner, static_cast<QWidget*>(frm.get()));
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());
        QCOMPARE(server->hits(QStringLiteral("/list/index.htm")), 1);
    }

    void stopWhileListPageHeldBack()
    {
        const QString held = QStringLiteral("/list/p2.htm");
        server->setHeldPage(held, "<html><body><a href=\"/news/4.htm\">4</a></body></html>");
        addListTask(1, 3, 0);
        open();
        const int hitsBefore = server->hits(held);
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (server->hits(held) > hitsBefore && create()->text() != Create) {
                poll.stop();
                QTest::mouseClick(create(), Qt::LeftButton);
            }
        });
        poll.start(20);
        clickCreate();
        server->release(held);
        // The held page is left out and its number not posted.
        const QStringList expected{news(1), news(2), news(3),
                                   QStringLiteral("有效列表条数：3   去掉重复条数：1")};
        QCOMPARE(shown(), expected);
        QCOMPARE(test::contents(listPath()), crlf(expected));
        QCOMPARE(storedCurrent(), 1);
        QVERIFY(!frm->Running());
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());
        QCOMPARE(server->hits(QStringLiteral("/list/p3.htm")), 0);
        server->setPage(held, "<html><body><a href=\"/news/2.htm\">2</a>"
                              "<a href=\"/news/4.htm\">4</a></body></html>");
    }

    void ordinalRunAndUnmadeFolder()
    {
        addTask(true, QStringLiteral("www.site.com/show.asp?id=*"), 1, 3, 0);
        QVERIFY(QDir().mkpath(world->workPath() + QStringLiteral("WorkDir")));
        test::put(taskFolder(), "a file where the task folder belongs");
        open();
        clickCreate();
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("工作路径访问失败！."));
        QCOMPARE(storedCurrent(), 0);
        QCOMPARE(current(), 0);
        // The failed run leaves its buttons until the next click.
        QCOMPARE(create()->text(), QStringLiteral("停止"));
        QVERIFY(!save()->isEnabled());
        QTest::mouseClick(create(), Qt::LeftButton);
        QCOMPARE(create()->text(), Create);
        QVERIFY(save()->isEnabled());

        QVERIFY(QFile::remove(taskFolder()));
        clickCreate();
        // Kept as produced: no scheme is added.
        const QStringList expected{QStringLiteral("www.site.com/show.asp?id=1"),
                                   QStringLiteral("www.site.com/show.asp?id=2"),
                                   QStringLiteral("www.site.com/show.asp?id=3"),
                                   QStringLiteral("有效列表条数：3")};
        QCOMPARE(shown(), expected);
        QCOMPARE(test::contents(listPath()), crlf(expected));
        QCOMPARE(storedCurrent(), 3);
        QCOMPARE(boxes->count(), 1);
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
