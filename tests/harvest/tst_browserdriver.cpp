// The browser driver against a web server of the test's own on 127.0.0.1.
#include "harvest/browserdriver.h"
#include "harvest/browserpool.h"
#include "harvest/browserprofile.h"
#include "harvest/core/bodytext.h"
#include "harvest/core/documentlinks.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "support/httpserver.h"
#include "support/linkpage.h"
#include "support/standins.h"
#include "support/testsupport.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <httplib.h>
#include <memory>

using namespace pagrim;
using pagrim::harvest::BrowserDriver;

namespace {

// Ends a wait that never ends by stopping the run, so that a hang fails fast.
constexpr int Watchdog = 20000;

} // namespace

class TstBrowserDriver : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void firstBlankPageBeepsOnce();
    void framesPageEndsOnTopLevelCompletion();
    void stopDuringHeldPageThenLateCompletion();
    void newPageTakesThePlaceOfAHeldOne();
    void startedPageCompletesBeforeOrDuringItsWait();
    void savePageInProgramCodePage_data();
    void savePageInProgramCodePage();
    void serverErrorPageIsSaved();
    void cannotCreateFile();
    void noDocumentWritesNothing();
    void cookieCarriesOverToTheOtherView();
    void linksAbsoluteInDocumentOrder();
    void directLinksAsTheBrowserReadsThem_data();
    void directLinksAsTheBrowserReadsThem();
    void refusedAddress_data();
    void refusedAddress();
    void addressWithoutScheme();
    void addressAsShown();
    void viewDestroyedDuringWait();
    void scriptContentIsWaitedFor();

private:
    // OpenPage with a watchdog that stops the run; gives whether the page loaded.
    bool open(const QString& path);
    // Runs action once, as soon as the server has been asked for path again
    // (within this test: the driver goes with it).
    void whenRequested(const QString& path, std::function<void()> action)
    {
        const int hits = m_server->hits(path);
        test::when(
            m_driver, [this, path, hits] { return m_server->hits(path) > hits; }, action);
    }
    QString evaluate(QWebEngineView* view, const QString& script);

    QTemporaryDir m_profileDir;
    std::unique_ptr<test::HttpServer> m_server;
    QTemporaryDir m_dir;
    QWebEngineView* m_view = nullptr;
    BrowserDriver* m_driver = nullptr;
    bool m_running = true;
    QStringList m_status;
    QStringList m_failures;
    QList<bool> m_loadedAtStatus;
};

void TstBrowserDriver::initTestCase()
{
    QVERIFY(m_profileDir.isValid());
    harvest::setBrowserProfileFolderForTesting(m_profileDir.path());
    m_server = std::make_unique<test::HttpServer>();
    m_server->setPage(QStringLiteral("/a.htm"), "<html><body><p>page A</p></body></html>");
    m_server->setPage(QStringLiteral("/b.htm"), "<html><body><p>page B</p></body></html>");
    m_server->setPage(QStringLiteral("/timer.htm"),
                      "<html><body><span id=p></span><script>setTimeout(function () {"
                      "document.getElementById('p').textContent = 'price ' + (90 + 9); }, 400)"
                      "</script></body></html>");
}

void TstBrowserDriver::init()
{
    m_running = true;
    m_status.clear();
    m_loadedAtStatus.clear();
    m_view = harvest::createSharedProfileView();
    m_view->setGeometry(688, 0, 1024, 768);
    m_failures.clear();
    m_driver = new BrowserDriver(
        m_view, [this](const QString& text) { m_failures.append(text); },
        [this](const QString& text) {
            m_status.append(text);
            m_loadedAtStatus.append(m_driver->PageLoaded());
        },
        [this] { return m_running; });
}

void TstBrowserDriver::cleanup()
{
    delete m_driver;
    m_driver = nullptr;
    delete m_view;
    m_view = nullptr;
}

bool TstBrowserDriver::open(const QString& path)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] { m_running = false; });
    watchdog.start(Watchdog);
    m_driver->OpenPage(m_server->address(path));
    const bool loaded = m_running && m_driver->PageLoaded();
    m_running = true;
    return loaded;
}

QString TstBrowserDriver::evaluate(QWebEngineView* view, const QString& script)
{
    QString result;
    bool done = false;
    QEventLoop loop;
    QTimer::singleShot(Watchdog, &loop, &QEventLoop::quit);
    view->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v.toString();
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    return result;
}

void TstBrowserDriver::firstBlankPageBeepsOnce()
{
    test::BeepCounter beeps;
    m_driver->Navigate(QStringLiteral("about:blank"));
    QTRY_VERIFY_WITH_TIMEOUT(m_driver->PageLoaded(), Watchdog);
    QCOMPARE(beeps.count(), 1);
    QVERIFY(!m_driver->TopFrame());
    QVERIFY(m_status.isEmpty());
}

void TstBrowserDriver::framesPageEndsOnTopLevelCompletion()
{
    m_server->setPage(QStringLiteral("/frames.htm"),
                      "<html><frameset cols=\"50%,50%\"><frame src=\"a.htm\">"
                      "<frame src=\"slow.htm\"></frameset></html>");
    m_server->setHandler(QStringLiteral("/slow.htm"),
                         [](const httplib::Request&, httplib::Response& rs) {
                             std::this_thread::sleep_for(std::chrono::milliseconds(400));
                             rs.set_content("<html><body>slow frame</body></html>", "text/html");
                         });
    test::BeepCounter beeps;
    QVERIFY(open(QStringLiteral("/frames.htm")));
    QCOMPARE(beeps.count(), 1);
    QVERIFY(!m_driver->TopFrame());
    QCOMPARE(evaluate(m_view, QStringLiteral("window.frames[1].document.readyState")),
             QStringLiteral("complete"));
    QCOMPARE(m_status, QStringList{QStringLiteral(" 正在打开网页 - ") +
                                   m_server->address(QStringLiteral("/frames.htm")) +
                                   QStringLiteral(" 请稍候... ")});
    // Nothing more comes after the page has completed.
    QVERIFY(test::waitForIdle());
    QCOMPARE(beeps.count(), 1);
}

void TstBrowserDriver::stopDuringHeldPageThenLateCompletion()
{
    QVERIFY(open(QStringLiteral("/a.htm")));
    const QString held = QStringLiteral("/held1.htm");
    m_server->setHeldPage(held, "<html><body>late page</body></html>");
    test::BeepCounter beeps;
    whenRequested(held, [this] { m_running = false; });
    m_driver->OpenPage(m_server->address(held));
    QVERIFY(!m_driver->PageLoaded());
    QVERIFY(m_driver->TopFrame());
    QCOMPARE(beeps.count(), 0);

    // The browser goes on loading: its completion only sets the flags.
    m_server->release(held);
    QTRY_VERIFY_WITH_TIMEOUT(m_driver->PageLoaded(), Watchdog);
    QVERIFY(!m_driver->TopFrame());
    QCOMPARE(beeps.count(), 1);

    // The next OpenPage clears PageLoaded before it navigates.
    m_running = true;
    m_loadedAtStatus.clear();
    QVERIFY(open(QStringLiteral("/b.htm")));
    QCOMPARE(m_loadedAtStatus, QList<bool>{false});
    QCOMPARE(beeps.count(), 2);
}

void TstBrowserDriver::newPageTakesThePlaceOfAHeldOne()
{
    const QString held = QStringLiteral("/held2.htm");
    m_server->setHeldPage(held, "<html><body>held page</body></html>");
    test::BeepCounter beeps;
    whenRequested(held, [this] { m_running = false; });
    m_driver->OpenPage(m_server->address(held));
    QVERIFY(!m_driver->PageLoaded());
    m_running = true;

    QVERIFY(open(QStringLiteral("/b.htm")));
    QCOMPARE(beeps.count(), 1);
    QVERIFY(evaluate(m_view, QStringLiteral("document.body.textContent"))
                .contains(QStringLiteral("page B")));
    // Its late answer changes nothing.
    m_server->release(held);
    QVERIFY(test::waitForIdle());
    QCOMPARE(beeps.count(), 1);
    QVERIFY(m_driver->PageLoaded());
}

void TstBrowserDriver::startedPageCompletesBeforeOrDuringItsWait()
{
    // Completed while other work let events run: the wait ends at once.
    test::BeepCounter beeps;
    m_driver->StartPage(m_server->address(QStringLiteral("/a.htm")));
    QVERIFY(!m_driver->PageLoaded());
    QTRY_VERIFY_WITH_TIMEOUT(m_driver->PageLoaded(), Watchdog);
    // Returns without a pass of events: what is posted now has not run.
    bool dispatched = false;
    QTimer::singleShot(0, this, [&] { dispatched = true; });
    m_driver->WaitPage();
    QVERIFY(!dispatched);
    QVERIFY(m_driver->PageLoaded());
    QCOMPARE(beeps.count(), 1);

    // A held page given up: the next page is the one the browser shows.
    const QString held = QStringLiteral("/held3.htm");
    m_server->setHeldPage(held, "<html><body>held page</body></html>");
    m_driver->StartPage(m_server->address(held));
    m_driver->DropPage();
    QVERIFY(open(QStringLiteral("/b.htm")));
    QVERIFY(evaluate(m_view, QStringLiteral("document.body.textContent"))
                .contains(QStringLiteral("page B")));
    m_server->release(held);
}

void TstBrowserDriver::savePageInProgramCodePage_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("emoji");

    const QString text = QStringLiteral("中文网页");
    const QByteArray utf8Page =
        "<html><body><p>" + text.toUtf8() + " \xF0\x9F\x98\x80</p></body></html>";
    const QByteArray gbkPage =
        "<html><body><p>" + codepage::fromUnicode(text, codepage::Gbk) + "</p></body></html>";
    const QByteArray gbkText = "\xD6\xD0\xCE\xC4\xCD\xF8\xD2\xB3";
    const QByteArray utf8Text = text.toUtf8();

    QTest::newRow("UTF-8 page, 936") << codepage::Gbk << QByteArray("text/html; charset=utf-8")
                                     << utf8Page << gbkText << QByteArray("&#128512;");
    QTest::newRow("UTF-8 page, UTF-8") << codepage::Utf8 << QByteArray("text/html; charset=utf-8")
                                       << utf8Page << utf8Text << QByteArray("\xF0\x9F\x98\x80");
    QTest::newRow("GBK page, 936") << codepage::Gbk << QByteArray("text/html; charset=gbk")
                                   << gbkPage << gbkText << QByteArray();
    QTest::newRow("GBK page, UTF-8") << codepage::Utf8 << QByteArray("text/html; charset=gbk")
                                     << gbkPage << utf8Text << QByteArray();
}

void TstBrowserDriver::savePageInProgramCodePage()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, emoji);

    const test::CodePagePinned pinned(codePage);
    m_server->setPage(QStringLiteral("/cn.htm"), body, contentType);
    QVERIFY(open(QStringLiteral("/cn.htm")));

    const QString path = m_dir.filePath(QStringLiteral("1.Htm"));
    test::put(path, QByteArray(20000, 'X') + "OLD CONTENT");
    m_status.clear();
    test::savePage(*m_driver, path);
    QCOMPARE(m_status, QStringList{QStringLiteral(" 正在保存网页到文件，请稍候... ")});

    const QByteArray saved = test::contents(path);
    QVERIFY2(saved.startsWith("<html"), saved.left(80).constData());
    QVERIFY(saved.trimmed().endsWith("</html>"));
    QVERIFY(!saved.contains("OLD CONTENT"));
    QVERIFY(!saved.contains('X'));
    QVERIFY(saved.contains(expected));
    if (!emoji.isEmpty())
        QVERIFY(saved.contains(emoji));
}

void TstBrowserDriver::serverErrorPageIsSaved()
{
    m_server->setPage(QStringLiteral("/error.htm"),
                      "<html><body><h1>Internal trouble 500</h1></body></html>",
                      "text/html; charset=utf-8", 500);
    test::BeepCounter beeps;
    QVERIFY(open(QStringLiteral("/error.htm")));
    QCOMPARE(beeps.count(), 1);
    QCOMPARE(m_driver->LastLoad().ending, harvest::PageLoad::Ending::HttpError);
    QCOMPARE(m_driver->LastLoad().status, 500);
    const QString path = m_dir.filePath(QStringLiteral("error.Htm"));
    test::savePage(*m_driver, path);
    QVERIFY(test::contents(path).contains("Internal trouble 500"));
}

void TstBrowserDriver::cannotCreateFile()
{
    QVERIFY(open(QStringLiteral("/a.htm")));
    const QString path = m_dir.filePath(QStringLiteral("missing/1.Htm"));
    try {
        test::savePage(*m_driver, path);
        QFAIL("no error raised");
    } catch (const Error& e) {
        const QString lead = QStringLiteral("Cannot create file \"%1\". ").arg(path);
        QVERIFY2(e.message().startsWith(lead), qPrintable(e.message()));
        QVERIFY(e.message().size() > lead.size());
    }
    QVERIFY(!QFile::exists(path));
}

void TstBrowserDriver::noDocumentWritesNothing()
{
    test::MessageRecorder messages;
    const QString path = m_dir.filePath(QStringLiteral("none.Htm"));
    test::savePage(*m_driver, path);
    QVERIFY(!QFile::exists(path));
    // Told to the host, which decides how to show it; no box of the driver's.
    QCOMPARE(m_failures, QStringList{QStringLiteral("保存 HTML 文件失败    ")});
    QCOMPARE(messages.count(), 0);
    QVERIFY_THROWS_EXCEPTION(Error, m_driver->Links());
}

void TstBrowserDriver::cookieCarriesOverToTheOtherView()
{
    // The login window's browser: another view on the same profile.
    std::unique_ptr<QWebEngineView> wbLogin(harvest::createSharedProfileView());
    {
        QEventLoop loop;
        QTimer::singleShot(Watchdog, &loop, &QEventLoop::quit);
        connect(wbLogin->page(), &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        wbLogin->load(m_server->url(QStringLiteral("/setcookie?name=login&value=granted")));
        loop.exec();
    }
    QVERIFY(open(QStringLiteral("/echocookie")));
    const QString path = m_dir.filePath(QStringLiteral("cookie.Htm"));
    test::savePage(*m_driver, path);
    QVERIFY2(test::contents(path).contains("login=granted"), test::contents(path).constData());
    wbLogin.reset();
}

void TstBrowserDriver::linksAbsoluteInDocumentOrder()
{
    m_server->setPage(QStringLiteral("/list/index.htm"),
                      "<html><body>"
                      "<a href=\"news_1.htm\">1</a>"
                      "<a name=\"anchor-without-address\">x</a>"
                      "<a href=\"/top.htm\">top</a>"
                      "<img usemap=\"#m\"><map name=\"m\"><area href=\"../area.htm\"></map>"
                      "<a href=\"http://example.invalid/far.htm?q=1\">far</a>"
                      "<iframe src=\"/a.htm\"></iframe>"
                      "<a href=\"news_1.htm\">again</a>"
                      "<script>document.links.length; Array.prototype.map = null;</script>"
                      "</body></html>");
    QVERIFY(open(QStringLiteral("/list/index.htm")));
    const QStringList expected{
        m_server->address(QStringLiteral("/list/news_1.htm")),
        m_server->address(QStringLiteral("/top.htm")),
        m_server->address(QStringLiteral("/area.htm")),
        QStringLiteral("http://example.invalid/far.htm?q=1"),
        m_server->address(QStringLiteral("/list/news_1.htm")),
    };
    QCOMPARE(m_driver->Links(), expected);
}

void TstBrowserDriver::directLinksAsTheBrowserReadsThem_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::newRow("utf-8") << QByteArray("utf-8");
    QTest::newRow("gbk") << QByteArray("gbk");
}

void TstBrowserDriver::directLinksAsTheBrowserReadsThem()
{
    // The links read from the same bytes without the browser are the
    // browser's, but for those left out: javascript: links and empty ones,
    // which the browser gives as the base address.
    QFETCH(QByteArray, charset);
    const QString path = QStringLiteral("/dir/links-%1.htm").arg(QLatin1String(charset));
    const QByteArray page = test::trickyLinkPage(charset);
    const QByteArray contentType = "text/html; charset=" + charset;
    m_server->setPage(path, page, contentType);
    QVERIFY(open(path));
    QStringList browser = m_driver->Links();
    const QString base = m_server->address(QStringLiteral("/list/sub/"));
    browser.removeIf([&](const QString& link) {
        return link == base || link.startsWith(QStringLiteral("javascript:"));
    });
    const QStringList direct =
        harvest::documentLinks(harvest::decodeBody(page, contentType), m_server->url(path),
                               harvest::bodyEncoding(page, contentType));
    QCOMPARE(direct, browser);
    QCOMPARE(direct.size(), 13);
}

void TstBrowserDriver::refusedAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("   ");
    QTest::newRow("malformed") << QStringLiteral("http://[::1/x.htm");
    QTest::newRow("unknown scheme") << QStringLiteral("nosuchscheme:page");
    QTest::newRow("attachment") << QStringLiteral("@/report.zip"); // "@": the server
}

void TstBrowserDriver::refusedAddress()
{
    QFETCH(QString, address);
    if (address.startsWith(QLatin1Char('@')))
        address = m_server->address(address.mid(1));
    m_server->setHandler(QStringLiteral("/report.zip"),
                         [](const httplib::Request&, httplib::Response& rs) {
                             rs.set_header("Content-Disposition", "attachment; filename=\"r.zip\"");
                             rs.set_content("PK", "application/zip");
                         });
    QVERIFY(open(QStringLiteral("/a.htm")));
    // Ends with this test, so it cannot stop a later one.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] { m_running = false; });
    watchdog.start(Watchdog);
    try {
        m_driver->OpenPage(address);
        QFAIL("no error raised");
    } catch (const harvest::AddressRefused& e) {
        QVERIFY2(m_running, "only the watchdog ended the wait");
        QVERIFY2(e.message().contains(QStringLiteral("\"%1\"").arg(address)),
                 qPrintable(e.message()));
    }
    QVERIFY(!m_driver->PageLoaded());
    // The page still shown is not the refused one's: nothing to save for it.
    m_failures.clear();
    const QString path = m_dir.filePath(
        QStringLiteral("refused %1.Htm").arg(QLatin1String(QTest::currentDataTag())));
    test::savePage(*m_driver, path);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(m_failures, QStringList{QStringLiteral("保存 HTML 文件失败    ")});
    // The page still shown goes on: another fragment of it completes at once.
    QVERIFY(open(QStringLiteral("/a.htm#after")));
    test::savePage(*m_driver, path);
    QVERIFY(test::contents(path).contains("page A"));
}

void TstBrowserDriver::addressWithoutScheme()
{
    // Opened as http, as an address bar opens it.
    const QString address = QStringLiteral("127.0.0.1:%1/b.htm").arg(m_server->port());
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] { m_running = false; });
    watchdog.start(Watchdog);
    m_driver->OpenPage(address);
    QVERIFY2(m_running, "only the watchdog ended the wait");
    QVERIFY(m_driver->PageLoaded());
    QCOMPARE(m_view->url(), m_server->url(QStringLiteral("/b.htm")));
    QVERIFY(m_status.last().contains(QLatin1Char(' ') + address + QLatin1Char(' ')));
}

void TstBrowserDriver::addressAsShown()
{
    // A page list keeps addresses as an address bar shows them: such an
    // address fetches the page its escaped form names.
    m_server->setPage(QStringLiteral("/文章/5.html"), "<html><body>article 5</body></html>");
    m_driver->OpenPage(QStringLiteral("http://127.0.0.1:%1/文章/5.html").arg(m_server->port()));
    QVERIFY(m_driver->PageLoaded());
    QCOMPARE(m_server->hits(QStringLiteral("/文章/5.html")), 1);
    QVERIFY(m_driver->TakeDocument().contains("article 5"));
}

void TstBrowserDriver::viewDestroyedDuringWait()
{
    const QString held = QStringLiteral("/held3.htm");
    m_server->setHeldPage(held, "<html><body>never seen</body></html>");
    whenRequested(held, [this] {
        delete m_view;
        m_view = nullptr;
    });
    // Ends with this test, so it cannot stop a later one.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] { m_running = false; });
    watchdog.start(Watchdog);
    m_driver->OpenPage(m_server->address(held));
    QVERIFY2(m_running, "only the watchdog ended the wait");
    QVERIFY(!m_driver->PageLoaded());
    QVERIFY(!m_driver->wbGet());

    m_failures.clear();
    test::savePage(*m_driver, m_dir.filePath(QStringLiteral("gone.Htm")));
    QCOMPARE(m_failures.size(), 1);
    QVERIFY_THROWS_EXCEPTION(Error, m_driver->Links());
    m_server->release(held);
}

void TstBrowserDriver::scriptContentIsWaitedFor()
{
    const auto filled = [](const QString& html) {
        return html.contains(QLatin1String("price 99"));
    };
    QVERIFY(open(QStringLiteral("/timer.htm")));
    QVERIFY(!m_driver->TakeDocument().contains("price 99"));
    m_driver->SetContentRule({3000, filled});
    QVERIFY(open(QStringLiteral("/timer.htm")));
    QVERIFY(m_driver->TakeDocument().contains("price 99"));

    harvest::BrowserPool pool(1);
    pool.setContentRule({3000, filled});
    QList<harvest::PageLoad> ends;
    pool.start(
        0, m_server->address(QStringLiteral("/timer.htm")),
        [&](const harvest::PageLoad& load) { ends.append(load); }, nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, Watchdog);
    QVERIFY(ends[0].document.contains("price 99"));
}

QTEST_MAIN(TstBrowserDriver)
#include "tst_browserdriver.moc"
