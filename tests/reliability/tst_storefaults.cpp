// The store failing under the execution window's runs: a store file that
// cannot be written, a store another process keeps locked past the busy
// timeout, a disk that is full. The engine's message is shown, nothing stored
// is lost, and the run goes on once the fault is gone.
#include "harvest/browserprofile.h"
#include "platform/codepage.h"
#include "support/filesizelimit.h"
#include "support/httpserver.h"
#include "support/taskwindow.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <optional>

using namespace pagrim;
using test::child;

namespace {

constexpr int Watchdog = 30000;

enum Fault
{
    ReadOnly,
    Locked,
    DiskFull
};

// Another process holding the store's write lock until it is let go.
class LockHolder
{
public:
    explicit LockHolder(const QString& storePath)
    {
        m_process.setProgram(test::builtProgram(QStringLiteral("pagrim-harvestchild")));
        m_process.setArguments({QStringLiteral("hold"), storePath});
        m_process.start();
    }
    ~LockHolder() { letGo(); }
    bool holding()
    {
        while (!m_out.contains("locked\n")) {
            if (!m_process.waitForReadyRead(20000))
                return false;
            m_out += m_process.readAllStandardOutput();
        }
        return true;
    }
    void letGo()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        m_process.waitForFinished(20000);
    }

private:
    QProcess m_process;
    QByteArray m_out;
};

} // namespace

class TstStoreFaults : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void faultDuringARun_data();
    void faultDuringARun();

private:
    QByteArray listOf(int count) const;
    QList<QVariantList> storedRows() const
    {
        return test::rowsOf(m_w->world.storePath(),
                            QStringLiteral("select * from Tasks order by TaskID"));
    }
    void click(const char* button) { QVERIFY(m_w->click(button, Watchdog)); }

    QTemporaryDir m_profileDir;
    std::unique_ptr<test::HttpServer> m_server;
    std::unique_ptr<test::TaskWindow> m_w;
};

void TstStoreFaults::initTestCase()
{
    QVERIFY(m_profileDir.isValid());
    harvest::setBrowserProfileFolderForTesting(m_profileDir.path());
    m_server = std::make_unique<test::HttpServer>();
    for (int n = 1; n <= 3; ++n)
        m_server->setPage(QStringLiteral("/p%1.htm").arg(n),
                          "<html><body><p>page " + QByteArray::number(n) + "</p></body></html>");
}

void TstStoreFaults::init()
{
    m_w = std::make_unique<test::TaskWindow>();
}

void TstStoreFaults::cleanup()
{
    m_w.reset();
}

QByteArray TstStoreFaults::listOf(int count) const
{
    QByteArray bytes;
    for (int n = 1; n <= count; ++n)
        bytes += m_server->address(QStringLiteral("/p%1.htm").arg(n)).toLatin1() + "\r\n";
    return bytes + codepage::fromUnicode(QStringLiteral("有效列表条数：%1").arg(count)) + "\r\n";
}

void TstStoreFaults::faultDuringARun_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("saving"); // else list generation
    QTest::addColumn<QString>("message");
    const QString readOnly = QStringLiteral("attempt to write a readonly database.");
    const QString locked = QStringLiteral("database is locked.");
    const QString full = QStringLiteral("disk I/O error.");
    QTest::newRow("read-only store, page saving") << int(ReadOnly) << true << readOnly;
    QTest::newRow("read-only store, list generation") << int(ReadOnly) << false << readOnly;
    QTest::newRow("locked store, page saving") << int(Locked) << true << locked;
    QTest::newRow("locked store, list generation") << int(Locked) << false << locked;
    QTest::newRow("disk full, page saving") << int(DiskFull) << true << full;
    QTest::newRow("disk full, list generation") << int(DiskFull) << false << full;
}

void TstStoreFaults::faultDuringARun()
{
    QFETCH(int, fault);
    QFETCH(bool, saving);
    QFETCH(QString, message);
    // An ordinal task of three pages: its list holds the first page so far.
    test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task,
                  {{QStringLiteral("ResAddr"), m_server->address(QStringLiteral("/p*.htm"))},
                   {QStringLiteral("ResEnd"), 3},
                   {QStringLiteral("ResCurrent"), saving ? 3 : 1}});
    test::addTask(m_w->world.storePath(), 2, QStringLiteral("另一个"));
    QVERIFY(QDir().mkpath(m_w->taskFolder()));
    test::put(m_w->listFile(), listOf(saving ? 3 : 1));

    // The fault begins before the run (a store that cannot be written is
    // opened so from the start), or while page saving waits for its second
    // page, after the first was counted.
    std::optional<test::UnwritableFile> unwritable;
    std::optional<LockHolder> holder;
    std::optional<test::FileSizeLimit> limit;
    QList<QVariantList> before;
    const auto begin = [&] {
        before = storedRows();
        if (fault == Locked) {
            holder.emplace(m_w->world.storePath());
            QVERIFY(holder->holding());
        } else if (fault == DiskFull) {
            limit.emplace(2048);
        }
    };
    if (fault == ReadOnly) {
        unwritable.emplace(m_w->world.storePath());
        if (unwritable->writable())
            QSKIP("the store file cannot be made read-only here");
    }
    const QString held = QStringLiteral("/p2.htm");
    if (saving && fault == DiskFull) {
        // Once the second page has loaded: the browser's own files would fail
        // its load before.
        m_w->open();
        const int hits = m_server->hits(held);
        connect(child<QStatusBar>(m_w->frm.get(), "StatusBar1"), &QStatusBar::messageChanged, this,
                [&, hits, begun = false](const QString& text) mutable {
                    if (!begun && m_server->hits(held) > hits &&
                        text == QStringLiteral(" 正在保存网页到文件，请稍候... ")) {
                        begun = true;
                        begin();
                    }
                });
    } else if (saving && fault != ReadOnly) {
        m_server->setHeldPage(held, "<html><body><p>page 2</p></body></html>");
        const int hits = m_server->hits(held);
        // The second page is asked for while the first one is still written
        // and counted: the fault waits for its counter. The store may be busy
        // with that commit when it is read: read again at the next try.
        const auto counted = [&] {
            try {
                return m_w->stored("SaveCurrent") >= 1;
            } catch (...) {
                return false;
            }
        };
        test::when(
            this, [&, hits, counted] { return m_server->hits(held) > hits && counted(); },
            [&] {
                begin();
                m_server->release(held);
            });
    } else if (fault != ReadOnly) {
        begin();
    } else {
        before = storedRows();
    }
    if (!m_w->frm)
        m_w->open();
    const char* button = saving ? "btnSaveHtml" : "btnCreateLst";
    click(button);

    // The engine's message through the default error display.
    QCOMPARE(m_w->boxes.count(), 1);
    QCOMPARE(m_w->boxes.last().text, message);
    QCOMPARE(m_w->boxes.last().caption, QStringLiteral("Pagrim"));
    QCOMPARE(m_w->boxes.last().icon, ui::Icon::Error);
    // Nothing stored changed; the counter keeps its last stored value.
    QCOMPARE(storedRows(), before);
    const int failedAt = fault == ReadOnly ? 1 : 2;
    if (saving) {
        QCOMPARE(m_w->stored("SaveCurrent"), failedAt - 1);
        // The page is saved, its number is pending in the row.
        QCOMPARE(m_w->tasks->state(), store::DataSet::State::Edit);
        QCOMPARE(m_w->tasks->field(QStringLiteral("SaveCurrent")).asInteger(), failedAt);
        for (int n = 1; n <= failedAt; ++n)
            QVERIFY(test::contents(m_w->pageFile(n)).contains("page " + QByteArray::number(n)));
    } else {
        QCOMPARE(m_w->stored("ResCurrent"), 1);
        QCOMPARE(m_w->tasks->field(QStringLiteral("ResCurrent")).asInteger(), 1);
        QCOMPARE(test::contents(m_w->listFile()), listOf(1));
    }
    QCOMPARE(test::rowsOf(m_w->world.storePath(), QStringLiteral("pragma integrity_check")),
             QList<QVariantList>{{QStringLiteral("ok")}});
    QCOMPARE(child<QPushButton>(m_w->frm.get(), button)->text(), QStringLiteral("停止"));

    // The fault goes; a store opened read-only stays so until it is opened
    // again, as at the program's next start.
    holder.reset();
    limit.reset();
    if (unwritable) {
        unwritable.reset();
        m_w->close();
        m_w->open();
    } else {
        click(button); // the stop branch puts the buttons back
    }
    click(button);
    QCOMPARE(m_w->boxes.count(), 1);
    if (saving) {
        QCOMPARE(m_w->stored("SaveCurrent"), 3);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(test::contents(m_w->pageFile(n)).contains("page " + QByteArray::number(n)));
    } else {
        QCOMPARE(m_w->stored("ResCurrent"), 3);
        QCOMPARE(test::contents(m_w->listFile()), listOf(3));
    }
    QCOMPARE(storedRows().at(1), before.at(1));
}

QTEST_MAIN(TstStoreFaults)
#include "tst_storefaults.moc"
