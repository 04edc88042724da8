// Saving the pages of the page list from the execution window, with the real
// browser on pages of the test's own web server.
#include "harvest/browserprofile.h"
#include "harvest/core/pagelog.h"
#include "harvest/ufrmLogin.h"
#include "platform/codepage.h"
#include "store/taskoptions.h"
#include "support/httpserver.h"
#include "support/taskwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <httplib.h>
#include <memory>
#include <mutex>

using namespace pagrim;
using test::child;

namespace {

// A run that has not ended by then is stopped, so that a hang fails fast.
constexpr int Watchdog = 20000;
const QString SaveCaption = QStringLiteral("保存网页");
const QString SaveFailed = QStringLiteral("保存 HTML 文件失败    ");

} // namespace

class TstPageSave : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void savesEveryPageThenRefuses();
    void userFilesStay();
    void refusals_data();
    void refusals();
    void pagesThatWouldStallARun_data();
    void pagesThatWouldStallARun();
    void stopWhileAPageIsHeldBack();
    void closeAskedDuringARun();
    void sideBySideThenRetryFailed();
    void hostDelayAtTheServer();
    void loginLostOpensTheLoginWindow();
    void lookAtIt();

private:
    // The window on the task, shown as the main window shows it (without its loop).
    TfrmProcess& open(int saveCurrent = 0);
    // The page list of the given server paths and its summary line.
    void writeList(const QStringList& paths);
    QPushButton* saveButton() const { return m_w->button("btnSaveHtml"); }
    // A click on btnSaveHtml; returns when the run has. False when the
    // watchdog had to stop it.
    bool clickSave() { return m_w->click("btnSaveHtml", Watchdog); }
    // Runs action once, as soon as the server has been asked for path.
    void whenRequested(const QString& path, std::function<void()> action)
    {
        test::when(
            m_w->frm.get(), [this, path] { return m_server->hits(path) > 0; }, action);
    }

    // Member pages the site's session still serves; its login page renews it.
    std::atomic<int> m_sessionPages{0};
    QTemporaryDir m_profileDir;
    std::unique_ptr<test::HttpServer> m_server;
    std::unique_ptr<test::TaskWindow> m_w;
};

void TstPageSave::initTestCase()
{
    QVERIFY(m_profileDir.isValid());
    harvest::setBrowserProfileFolderForTesting(m_profileDir.path());
    m_server = std::make_unique<test::HttpServer>();
    for (const char* name : {"a", "b", "c"})
        m_server->setPage(QStringLiteral("/%1.htm").arg(QLatin1String(name)),
                          QByteArray("<html><body><p id=\"x\">page ") + name +
                              "</p><p>中文正文</p><script>document.body.setAttribute('data-view', "
                              "innerWidth + 'x' + innerHeight + ' ' + document.visibilityState);"
                              "</script></body></html>");
    m_server->setHandler(
        QStringLiteral("/report.zip"), [](const httplib::Request&, httplib::Response& rs) {
            rs.set_header("Content-Disposition", "attachment; filename=\"report.zip\"");
            rs.set_content("PK not really a zip", "application/zip");
        });
    m_server->setPage(QStringLiteral("/dialogs.htm"),
                      "<html><body><p>dialogs</p><script>alert('hello');"
                      "document.body.append(String(confirm('sure?')));"
                      "document.body.append(String(prompt('name?', 'x')));</script></body></html>");
    m_server->setPage(QStringLiteral("/popup.htm"),
                      "<html><body><p>popup</p><script>"
                      "document.body.append(String(window.open('/target.htm')));"
                      "</script></body></html>");
    m_server->setPage(QStringLiteral("/target.htm"), "<html><body>pop-up page</body></html>");
    m_server->setHandler(
        QStringLiteral("/member.htm"), [this](const httplib::Request& rq, httplib::Response& rs) {
            rs.set_content(--m_sessionPages >= 0
                               ? "<html><body>member " + rq.get_param_value("n") + "</body></html>"
                               : std::string("<html><body><p>请先<b>登录</b>&nbsp;\n 后浏览"
                                             "</p></body></html>"),
                           "text/html; charset=utf-8");
        });
    m_server->setHandler(QStringLiteral("/login.htm"),
                         [this](const httplib::Request&, httplib::Response& rs) {
                             m_sessionPages = 100;
                             rs.set_content("<html><body>login</body></html>", "text/html");
                         });
}

void TstPageSave::init()
{
    m_w = std::make_unique<test::TaskWindow>();
}

void TstPageSave::cleanup()
{
    m_w.reset();
}

TfrmProcess& TstPageSave::open(int saveCurrent)
{
    test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task,
                  {{QStringLiteral("SaveCurrent"), saveCurrent}});
    return m_w->open();
}

void TstPageSave::writeList(const QStringList& paths)
{
    QByteArray bytes;
    for (const QString& path : paths)
        bytes += codepage::fromUnicode(m_server->address(path)) + "\r\n";
    bytes += codepage::fromUnicode(QStringLiteral("有效列表条数：%1").arg(paths.size())) + "\r\n";
    QVERIFY(QDir().mkpath(m_w->taskFolder()));
    test::put(m_w->taskFolder() + QStringLiteral("/ResHtmls.lst"), bytes);
}

void TstPageSave::savesEveryPageThenRefuses()
{
    writeList({QStringLiteral("/a.htm"), QStringLiteral("/b.htm"), QStringLiteral("/c.htm")});
    const int firstHits = m_server->hits(QStringLiteral("/a.htm"));
    TfrmProcess& w = open();
    auto* gauge = child<QProgressBar>(&w, "gHint");
    QCOMPARE(gauge->maximum(), 3);
    QVERIFY(clickSave());
    for (int n = 1; n <= 3; ++n) {
        const QByteArray saved = test::contents(m_w->pageFile(n));
        QVERIFY2(saved.contains(QByteArray("page ") + "abc"[n - 1]), saved.constData());
        QVERIFY(saved.contains(codepage::fromUnicode(QStringLiteral("中文正文"))));
        // Laid out as a browser window shows it, and visible to its scripts.
        QVERIFY2(saved.contains("data-view=\"1024x768 visible\""), saved.constData());
    }
    QCOMPARE(QDir(m_w->taskFolder() + QStringLiteral("/HTML")).entryList(QDir::Files).size(), 3);
    QCOMPARE(m_w->stored("SaveCurrent"), 3);
    // Every page's line in the log has the status its server answered.
    for (const auto& entry :
         harvest::readPageLog(m_w->taskFolder() + QStringLiteral("/ResHtmls.log")))
        QCOMPARE(entry.status, 200);
    QCOMPARE(gauge->value(), 3);
    QCOMPARE(gauge->text(), QStringLiteral("100%"));
    // The status line, whose painting a fast run holds back, is painted again.
    QVERIFY(child<QStatusBar>(&w, "StatusBar1")->updatesEnabled());
    QCOMPARE(saveButton()->text(), SaveCaption);
    QVERIFY(child<QPushButton>(&w, "btnCreateLst")->isEnabled());
    QCOMPARE(m_w->boxes.count(), 0);

    QVERIFY(clickSave());
    QCOMPARE(m_w->boxes.count(), 1);
    QCOMPARE(m_w->boxes.last().text,
             QStringLiteral("已经保存了所有网页。要重新处理，请修改任务参数。"));
    QCOMPARE(m_w->boxes.last().caption, QStringLiteral("提示信息"));
    QCOMPARE(m_w->boxes.last().icon, ui::Icon::Information);
    QCOMPARE(m_w->boxes.last().buttons, ui::Buttons::Ok);
    QCOMPARE(m_w->boxes.last().owner, &w);
    QCOMPARE(m_server->hits(QStringLiteral("/a.htm")), firstHits + 1);
}

void TstPageSave::userFilesStay()
{
    // Files of the user's own, named like the task's files and six letters,
    // outlive every run of the window.
    writeList({QStringLiteral("/a.htm")});
    const QStringList mine{QStringLiteral("Infos.xls.backup"), QStringLiteral("Infos.txt.202412"),
                           QStringLiteral("ResHtmls.lst.backup"),
                           QStringLiteral("HTML/1.Htm.backup")};
    QVERIFY(QDir().mkpath(m_w->taskFolder() + QStringLiteral("/HTML")));
    for (const QString& name : mine)
        test::put(m_w->taskFolder() + QLatin1Char('/') + name, "mine");
    TfrmProcess& w = open();
    QVERIFY(clickSave());
    QVERIFY(m_w->click("btnCreateLst", Watchdog));
    child<QCheckBox>(&w, "cbTest")->setChecked(false);
    QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
    QVERIFY(QFileInfo::exists(m_w->taskFolder() + QStringLiteral("/Infos.xls")));
    for (const QString& name : mine)
        QCOMPARE(test::contents(m_w->taskFolder() + QLatin1Char('/') + name), QByteArray("mine"));
    QCOMPARE(m_w->boxes.count(), 0);
}

void TstPageSave::refusals_data()
{
    QTest::addColumn<QByteArray>("list"); // "-": no file
    QTest::addColumn<QString>("text");
    QTest::newRow("no page list") << QByteArray("-")
                                  << QStringLiteral("列表文件没有找到，请先生成列表。");
    QTest::newRow("summary line only")
        << QByteArray("有效列表条数：0\r\n") << QStringLiteral("列表文件为空，请修改任务参数。");
}

void TstPageSave::refusals()
{
    QFETCH(QByteArray, list);
    QFETCH(QString, text);
    if (list != "-") {
        QVERIFY(QDir().mkpath(m_w->taskFolder()));
        test::put(m_w->taskFolder() + QStringLiteral("/ResHtmls.lst"), list);
    }
    TfrmProcess& w = open();
    QVERIFY(clickSave());
    QCOMPARE(m_w->boxes.count(), 1);
    QCOMPARE(m_w->boxes.last().text, text);
    QCOMPARE(m_w->boxes.last().caption, QStringLiteral("提示信息"));
    QCOMPARE(m_w->boxes.last().icon, ui::Icon::Information);
    QCOMPARE(saveButton()->text(), SaveCaption);
    QVERIFY(child<QPushButton>(&w, "btnCreateLst")->isEnabled());
    QVERIFY(!QFileInfo::exists(m_w->taskFolder() + QStringLiteral("/HTML")));
}

void TstPageSave::pagesThatWouldStallARun_data()
{
    QTest::addColumn<QString>("second");   // the page between a.htm and b.htm
    QTest::addColumn<QByteArray>("saved"); // in 2.Htm; empty: no file
    QTest::newRow("another fragment of the page before") << "/a.htm#x" << QByteArray("page a");
    QTest::newRow("download") << "/report.zip" << QByteArray();
    QTest::newRow("script dialogs on load") << "/dialogs.htm" << QByteArray("</script>falsenull");
    QTest::newRow("pop-up window") << "/popup.htm" << QByteArray("<p>popup</p>");
}

void TstPageSave::pagesThatWouldStallARun()
{
    QFETCH(QString, second);
    QFETCH(QByteArray, saved);
    writeList({QStringLiteral("/a.htm"), second, QStringLiteral("/b.htm")});
    const int windows = int(QApplication::topLevelWidgets().size());
    open();
    QVERIFY(clickSave());
    QCOMPARE(m_w->stored("SaveCurrent"), 3);
    QVERIFY(test::contents(m_w->pageFile(3)).contains("page b"));
    if (saved.isEmpty()) {
        QVERIFY(!QFileInfo::exists(m_w->pageFile(2)));
        QCOMPARE(m_w->boxes.count(), 1);
        QCOMPARE(m_w->boxes.last().text, SaveFailed);
        QCOMPARE(m_w->boxes.last().caption, QStringLiteral("错误信息"));
        QCOMPARE(m_w->boxes.last().icon, ui::Icon::None);
        QCOMPARE(m_w->boxes.last().buttons, ui::Buttons::Ok);
        QCOMPARE(m_w->boxes.last().owner, m_w->frm.get());
    } else {
        const QByteArray page = test::contents(m_w->pageFile(2));
        QVERIFY2(page.contains(saved), page.constData());
        QCOMPARE(m_w->boxes.count(), 0);
    }
    QCOMPARE(m_server->hits(QStringLiteral("/target.htm")), 0);
    QCOMPARE(int(QApplication::topLevelWidgets().size()), windows + 1);
}

void TstPageSave::stopWhileAPageIsHeldBack()
{
    const QString held = QStringLiteral("/held-stop.htm");
    m_server->setHeldPage(held, "<html><body>held page</body></html>");
    writeList({QStringLiteral("/a.htm"), held, QStringLiteral("/b.htm")});
    const int firstHits = m_server->hits(QStringLiteral("/a.htm"));
    TfrmProcess& w = open();
    whenRequested(held, [this] { QTest::mouseClick(saveButton(), Qt::LeftButton); });
    QVERIFY(clickSave());
    // The interrupted page is neither saved nor counted.
    QCOMPARE(m_w->stored("SaveCurrent"), 1);
    QVERIFY(QFileInfo::exists(m_w->pageFile(1)));
    QVERIFY(!QFileInfo::exists(m_w->pageFile(2)));
    QCOMPARE(child<QProgressBar>(&w, "gHint")->value(), 1);
    QCOMPARE(saveButton()->text(), SaveCaption);
    QVERIFY(child<QPushButton>(&w, "btnCreateLst")->isEnabled());

    // The next run starts with it.
    m_server->release(held);
    QVERIFY(clickSave());
    QCOMPARE(m_w->stored("SaveCurrent"), 3);
    QVERIFY(test::contents(m_w->pageFile(2)).contains("held page"));
    QVERIFY(test::contents(m_w->pageFile(3)).contains("page b"));
    QCOMPARE(m_server->hits(QStringLiteral("/a.htm")), firstHits + 1);
    QCOMPARE(m_w->boxes.count(), 0);
}

void TstPageSave::closeAskedDuringARun()
{
    const QString held = QStringLiteral("/held-close.htm");
    m_server->setHeldPage(held, "<html><body>held page</body></html>");
    writeList({QStringLiteral("/a.htm"), held, QStringLiteral("/b.htm")});
    TfrmProcess& w = open();
    bool visibleAfterClose = false;
    whenRequested(held, [&] {
        QTest::mouseClick(child<QPushButton>(&w, "Button2"), Qt::LeftButton);
        visibleAfterClose = w.isVisible();
        m_server->release(held);
    });
    QVERIFY(clickSave());
    QVERIFY(visibleAfterClose);
    // The run went on to the end; the window closed afterwards.
    QCOMPARE(m_w->stored("SaveCurrent"), 3);
    QVERIFY(test::contents(m_w->pageFile(2)).contains("held page"));
    QVERIFY(!w.isVisible());
}

// Pictures of the window, made by make docs only.
void TstPageSave::sideBySideThenRetryFailed()
{
    // Two pages at once; /later.htm is missing on the first run.
    m_w->settings.setParallelPages(2);
    writeList({QStringLiteral("/a.htm"), QStringLiteral("/later.htm"), QStringLiteral("/b.htm"),
               QStringLiteral("/c.htm")});
    const int cHits = m_server->hits(QStringLiteral("/c.htm"));
    TfrmProcess& w = open();
    QVERIFY(clickSave());
    QCOMPARE(m_w->stored("SaveCurrent"), 4);
    QVERIFY(!QFileInfo::exists(m_w->pageFile(2)));
    QVERIFY(test::contents(m_w->pageFile(4)).contains("page c"));
    const QList<harvest::PageLogEntry> log =
        harvest::readPageLog(m_w->taskFolder() + QStringLiteral("/ResHtmls.log"));
    QCOMPARE(log.size(), 4);
    const auto missing =
        std::find_if(log.begin(), log.end(), [](const auto& e) { return e.line == 2; });
    QCOMPARE(missing->status, 404);
    QCOMPARE(missing->outcome, harvest::PageOutcome::HttpError);
    QCOMPARE(m_w->boxes.count(), 0);

    m_server->setPage(QStringLiteral("/later.htm"), "<html><body>page later</body></html>");
    auto* list = child<QListWidget>(&w, "ListBox1");
    Q_EMIT list->customContextMenuRequested(QPoint(5, 5));
    auto* menu = w.findChild<QMenu*>(QStringLiteral("mnuPageList"));
    QVERIFY(menu);
    QAction* retry = menu->actions().value(0);
    QCOMPARE(retry->text(), QStringLiteral("重新保存失败的网页（1）"));
    menu->close();
    retry->trigger();
    QVERIFY(test::contents(m_w->pageFile(2)).contains("page later"));
    QCOMPARE(m_w->stored("SaveCurrent"), 4);
    QCOMPARE(m_server->hits(QStringLiteral("/c.htm")), cHits + 1);
}

void TstPageSave::hostDelayAtTheServer()
{
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    m_server->setHandler(QStringLiteral("/spaced.htm"),
                         [&](const httplib::Request&, httplib::Response& rs) {
                             const std::lock_guard<std::mutex> lock(mutex);
                             arrivals.push_back(std::chrono::steady_clock::now());
                             rs.set_content("<html><body>spaced</body></html>", "text/html");
                         });
    m_w->settings.setParallelPages(3);
    m_w->settings.setHostDelay(300);
    QStringList paths;
    for (int n = 1; n <= 5; ++n)
        paths << QStringLiteral("/spaced.htm?n=%1").arg(n);
    writeList(paths);
    open();
    QVERIFY(clickSave());
    QCOMPARE(m_w->stored("SaveCurrent"), 5);
    const std::lock_guard<std::mutex> lock(mutex);
    QCOMPARE(arrivals.size(), size_t(5));
    // The pause counts from when a request leaves, so the first pair too comes
    // at least the pause apart, give or take the way.
    for (size_t i = 1; i < arrivals.size(); ++i)
        QVERIFY2(arrivals[i] - arrivals[i - 1] >= std::chrono::milliseconds(290),
                 qPrintable(QString::number(i)));
}

void TstPageSave::loginLostOpensTheLoginWindow()
{
    // The session serves two pages; page 3 asks for the login, and after it
    // the run goes on from page 3.
    m_sessionPages = 2;
    writeList({QStringLiteral("/member.htm?n=1"), QStringLiteral("/member.htm?n=2"),
               QStringLiteral("/member.htm?n=3"), QStringLiteral("/member.htm?n=4")});
    test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task,
                  {{QStringLiteral("LoginAddr"), m_server->address(QStringLiteral("/login.htm"))}});
    TfrmProcess& w = m_w->open();
    store::TaskOptions options;
    options.loggedOutText = QStringLiteral("请先登录 后浏览");
    store::writeTaskOptions(*m_w->conn, 1, options);
    int savedMeanwhile = -1; // SaveCurrent while the login window is open
    test::when(
        &w,
        [&] {
            TfrmLogin* login = w.findChild<TfrmLogin*>();
            return login && login->isVisible() && m_server->hits(QStringLiteral("/login.htm")) > 0;
        },
        [&] {
            savedMeanwhile = m_w->stored("SaveCurrent");
            test::savePicture(&w, QStringLiteral("pagesave-loginlost"));
            w.findChild<TfrmLogin*>()->close();
        });
    QVERIFY(clickSave());
    QCOMPARE(savedMeanwhile, 2);
    QCOMPARE(m_w->stored("SaveCurrent"), 4);
    QVERIFY(test::contents(m_w->pageFile(3)).contains("member 3"));
    QCOMPARE(m_w->boxes.count(), 0);
}

void TstPageSave::lookAtIt()
{
    if (test::pictureFolder().isEmpty())
        QSKIP("makes pictures only: PAGRIM_DOCS names their folder");
    const QString held = QStringLiteral("/held-look.htm");
    m_server->setHeldPage(held, "<html><body>held page</body></html>");
    writeList({QStringLiteral("/a.htm"), QStringLiteral("/b.htm"), held, QStringLiteral("/c.htm")});
    TfrmProcess& w = open();
    bool grabbed = false;
    whenRequested(held, [&] {
        grabbed = test::savePicture(&w, QStringLiteral("pagesave-running"));
        m_server->release(held);
    });
    QVERIFY(clickSave());
    QVERIFY(grabbed);
    QVERIFY(test::savePicture(&w, QStringLiteral("pagesave-done")));
}

QTEST_MAIN(TstPageSave)
#include "tst_pagesave.moc"
