// The example site through the embedded browser: a saved page reads as the
// site served it, so the example tasks' markers cut the same values from the
// saved pages as from the served ones.
#include "browserdriver.h"
#include "browserprofile.h"
#include "codepage.h"
#include "examples.h"
#include "server.h"
#include "site.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

using namespace pagrim;

namespace {

constexpr int Watchdog = 20000;

// The page text a field is cut from: lines (broken at CR LF, CR or LF) each
// followed by CR LF.
QByteArray pageText(const QByteArray& bytes)
{
    QByteArray text;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        text += bytes.mid(start, i - start) + "\r\n";
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        text += bytes.mid(start) + "\r\n";
    return text;
}

// The value between the first start marker and the first end marker of the
// page, line breaks removed; a null array when there is none.
QByteArray cut(const QByteArray& page, const QString& start, const QString& end)
{
    const QByteArray text = pageText(page);
    const QByteArray s = codepage::fromUnicode(start);
    const QByteArray e = codepage::fromUnicode(end);
    const qsizetype at = text.indexOf(s);
    const qsizetype stop = text.indexOf(e);
    if (s.isEmpty() || e.isEmpty() || at < 0 || stop <= at + s.size())
        return {};
    return text.mid(at + s.size(), stop - at - s.size()).replace("\r\n", "");
}

// The served page as the program code page holds it.
QByteArray asProgramCodePage(const demosite::Response& served)
{
    const int cp = served.contentType.toLower().contains("gbk") ? codepage::Gbk : codepage::Utf8;
    return codepage::fromUnicodeWithReferences(codepage::toUnicode(served.body, cp));
}

demosite::Response served(const QString& path, bool member = false)
{
    demosite::Request rq;
    rq.path = path;
    if (member)
        rq.cookie = QByteArray(demosite::SessionCookie) + '=' + demosite::SessionValue;
    return demosite::page(rq);
}

} // namespace

class TstDemoSiteSave : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void savedPageReadsAsServed_data();
    void savedPageReadsAsServed();
    void markersCutSavedPages_data();
    void markersCutSavedPages();
    void listLinksAsTheBrowserReadsThem();

private:
    bool open(const QString& path);
    QByteArray save(const QString& path);
    QString site() const { return demosite::siteAddress(m_server.port()); }

    QTemporaryDir m_profileDir;
    QTemporaryDir m_dir;
    demosite::Server m_server;
    QWebEngineView* m_view = nullptr;
    harvest::BrowserDriver* m_driver = nullptr;
    bool m_running = true;
};

void TstDemoSiteSave::initTestCase()
{
    QVERIFY(m_profileDir.isValid() && m_dir.isValid());
    harvest::setBrowserProfileFolderForTesting(m_profileDir.path());
    QVERIFY(m_server.start(0) > 0);
}

void TstDemoSiteSave::init()
{
    m_running = true;
    m_view = harvest::createSharedProfileView();
    m_driver = new harvest::BrowserDriver(
        m_view, nullptr, [](const QString&) {}, [this] { return m_running; });
}

void TstDemoSiteSave::cleanup()
{
    delete m_driver;
    m_driver = nullptr;
    delete m_view;
    m_view = nullptr;
    codepage::setCurrentForTesting(0);
}

void TstDemoSiteSave::cleanupTestCase()
{
    m_server.stop();
}

bool TstDemoSiteSave::open(const QString& path)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] { m_running = false; });
    watchdog.start(Watchdog);
    m_driver->OpenPage(site() + path.mid(1));
    const bool loaded = m_running && m_driver->PageLoaded();
    m_running = true;
    return loaded;
}

// Opens path and gives the bytes SavePage writes for it.
QByteArray TstDemoSiteSave::save(const QString& path)
{
    if (!open(path))
        return "<not loaded>";
    const QString file = m_dir.filePath(QStringLiteral("1.Htm"));
    m_driver->SavePage(file);
    return test::contents(file);
}

void TstDemoSiteSave::savedPageReadsAsServed_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("path");
    for (const int cp : {codepage::Utf8, codepage::Gbk}) {
        const char* name = cp == codepage::Gbk ? "936" : "UTF-8";
        for (const char* path :
             {"/index.html", "/article/1.html", "/article/30.html", "/list/2.html", "/list/5.html",
              "/gbk/2.html", "/login.html", "/member/1.html", "/frames.html", "/nothing.html"})
            QTest::addRow("%s %s", name, path) << cp << QString::fromLatin1(path);
    }
}

void TstDemoSiteSave::savedPageReadsAsServed()
{
    QFETCH(int, codePage);
    QFETCH(QString, path);
    codepage::setCurrentForTesting(codePage);
    open(QStringLiteral("/logout.html"));
    QCOMPARE(save(path), asProgramCodePage(served(path)));
}

void TstDemoSiteSave::markersCutSavedPages_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<int>("task");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("values");

    auto article = [](int n) {
        return QStringList{demosite::articleTitle(n), demosite::articleDate(n),
                           demosite::articlePrice(n), demosite::articleBody(n).join(QString())};
    };
    for (const int cp : {codepage::Utf8, codepage::Gbk}) {
        const char* name = cp == codepage::Gbk ? "936" : "UTF-8";
        QTest::addRow("%s ordinal 1", name)
            << cp << 0 << QStringLiteral("/article/1.html") << article(1);
        QTest::addRow("%s ordinal 20", name)
            << cp << 0 << QStringLiteral("/article/20.html") << article(20);
        QTest::addRow("%s list 18", name)
            << cp << 1 << QStringLiteral("/article/18.html") << article(18).mid(0, 3);
        QTest::addRow("%s member 5", name)
            << cp << 2 << QStringLiteral("/member/5.html")
            << QStringList{demosite::memberTitle(5), demosite::memberPrice(5)};
        QTest::addRow("%s member, no login", name)
            << cp << 2 << QStringLiteral("/member/1.html") << QStringList{QString(), QString()};
    }
}

void TstDemoSiteSave::markersCutSavedPages()
{
    QFETCH(int, codePage);
    QFETCH(int, task);
    QFETCH(QString, path);
    QFETCH(QStringList, values);
    codepage::setCurrentForTesting(codePage);
    const bool member = path.startsWith(QLatin1String("/member/")) && !values.first().isEmpty();
    QVERIFY(open(member ? QStringLiteral("/dologin?user=demo&password=demo")
                        : QStringLiteral("/logout.html")));

    const QByteArray page = save(path);
    const demosite::ExampleTask example = demosite::exampleTasks(site()).at(task);
    QCOMPARE(example.fields.size(), values.size());
    for (int i = 0; i < values.size(); ++i) {
        const demosite::ExampleField& f = example.fields.at(i);
        QCOMPARE(codepage::toUnicode(cut(page, f.start, f.end)), values.at(i));
    }
}

void TstDemoSiteSave::listLinksAsTheBrowserReadsThem()
{
    QVERIFY(open(QStringLiteral("/list/2.html")));
    const QStringList links = m_driver->Links();
    const QString s = site();
    QStringList expected = {
        s + QStringLiteral("index.html"),     s + QStringLiteral("list/1.html"),
        s + QStringLiteral("member/1.html"),  s + QStringLiteral("about.html"),
        s + QStringLiteral("article/1.html"), s + QStringLiteral("article/2.html")};
    for (int a = 7; a <= 12; ++a)
        expected << s + QStringLiteral("article/%1.html").arg(a)
                 << s + QStringLiteral("article/%1.html#comments").arg(a);
    expected << s + QStringLiteral("Article/3.html");
    for (int p : {1, 3, 4, 5, 3})
        expected << s + QStringLiteral("list/%1.html").arg(p);
    expected << s + QStringLiteral("partner.html");
    QCOMPARE(links, expected);

    // Links inside frames are not the page's own.
    QVERIFY(open(QStringLiteral("/frames.html")));
    QCOMPARE(m_driver->Links(), QStringList());
}

QTEST_MAIN(TstDemoSiteSave)
#include "tst_demositesave.moc"
