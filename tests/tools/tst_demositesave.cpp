// The example site through the embedded browser: a saved page reads as the
// site served it, so the example tasks' markers cut the same values from the
// saved pages as from the served ones.
#include "demosite/examples.h"
#include "demosite/server.h"
#include "demosite/site.h"
#include "harvest/browserdriver.h"
#include "harvest/browserprofile.h"
#include "platform/codepage.h"
#include "support/standins.h"
#include "support/testsupport.h"

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
        m_view, [](const QString&) {}, [](const QString&) {}, [this] { return m_running; });
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

// Opens path and gives the bytes a page file holds for it.
QByteArray TstDemoSiteSave::save(const QString& path)
{
    if (!open(path))
        return "<not loaded>";
    const QString file = m_dir.filePath(QStringLiteral("1.Htm"));
    test::savePage(*m_driver, file);
    return test::contents(file);
}

// Each page saved in either code page; on the pages of the example tasks (task
// 0, 1, 2; -1 for none) the task's fields cut the values the page shows.
void TstDemoSiteSave::savedPageReadsAsServed_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("task");
    QTest::addColumn<QStringList>("values");

    auto article = [](int n, int fields) {
        return QStringList{demosite::articleTitle(n), demosite::articleDate(n),
                           demosite::articlePrice(n), demosite::articleBody(n).join(QString())}
            .mid(0, fields);
    };
    const QStringList member = {demosite::memberTitle(5), demosite::memberPrice(5)};
    for (const int cp : {codepage::Utf8, codepage::Gbk}) {
        const char* name = cp == codepage::Gbk ? "936" : "UTF-8";
        auto row = [&](const char* path, int task = -1, const QStringList& values = {}) {
            QTest::addRow("%s %s", name, path) << cp << QString::fromLatin1(path) << task << values;
        };
        row("/index.html");
        row("/article/1.html", 0, article(1, 4));
        row("/article/20.html", 0, article(20, 4));
        row("/article/18.html", 1, article(18, 3));
        row("/list/2.html");
        row("/gbk/2.html");
        row("/login.html");
        row("/member/1.html", 2, {QString(), QString()});
        row("/member/5.html?login", 2, member);
        row("/frames.html");
        row("/nothing.html");
    }
}

void TstDemoSiteSave::savedPageReadsAsServed()
{
    QFETCH(int, codePage);
    QFETCH(QString, path);
    QFETCH(int, task);
    QFETCH(QStringList, values);
    codepage::setCurrentForTesting(codePage);
    const bool member = path.endsWith(QLatin1String("?login"));
    QVERIFY(open(member ? QStringLiteral("/dologin?user=demo&password=demo")
                        : QStringLiteral("/logout.html")));
    const QByteArray page = save(path);
    QCOMPARE(page, asProgramCodePage(served(path.section(QLatin1Char('?'), 0, 0), member)));
    if (task < 0)
        return;
    const demosite::ExampleTask example = demosite::exampleTasks(site()).at(task);
    QCOMPARE(example.fields.size(), values.size());
    for (int i = 0; i < values.size(); ++i) {
        const demosite::ExampleField& f = example.fields.at(i);
        QCOMPARE(codepage::toUnicode(cut(page, f.start, f.end)), values.at(i));
    }
}

QTEST_MAIN(TstDemoSiteSave)
#include "tst_demositesave.moc"
