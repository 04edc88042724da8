// The whole road of each example task through the real windows, on the example
// site served by the test: the task picked in the main window, the login window
// for the member pages, then in the execution window the page list, the saved
// pages, a test extraction and the extraction into the result files.
//
// With PAGRIM_DOCS set, the windows on the way are saved as the tutorial's
// pictures, together with pictures of the result files.
#include "app/ufrmMain.h"
#include "demosite/examples.h"
#include "demosite/server.h"
#include "demosite/site.h"
#include "extract/stringgrid.h"
#include "extract/ufrmTest.h"
#include "harvest/browserprofile.h"
#include "harvest/core/pagelist.h"
#include "harvest/ufrmProcess.h"
#include "platform/codepage.h"
#include "platform/settings.h"
#include "store/sqlite.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

using namespace pagrim;
using test::child;

namespace {

// A harvesting run still going by then is stopped, so that a hang fails fast.
constexpr int RunWatchdog = 30000;
constexpr int PageWait = 15000;
const QString Separator = QStringLiteral("*");

enum Example
{
    Ordinal,
    List,
    Member
};

// The list pages of the list example repeat the two most read articles each,
// and the second one picks an article of the first page again in other case.
int listDuplicates(int listPages)
{
    return 2 * listPages + 1;
}

// What the site shows on the k-th page of an example task's list, in the order
// of the task's fields.
QStringList pageValues(Example example, int k)
{
    switch (example) {
    case Ordinal:
        return {demosite::articleTitle(k), demosite::articleDate(k), demosite::articlePrice(k),
                demosite::articleBody(k).join(QString())};
    case List:
        return {demosite::articleTitle(k), demosite::articleDate(k), demosite::articlePrice(k)};
    case Member:
        break;
    }
    return {demosite::memberTitle(k), demosite::memberPrice(k)};
}

// The address lines and the summary line of the task's page list.
QStringList expectedList(const demosite::ExampleTask& task, Example example)
{
    QStringList lines;
    const int pages = example == List ? (task.end - task.start + 1) : 0;
    const int count =
        example == List ? pages * demosite::ArticlesPerListPage : task.end - task.start + 1;
    for (int k = 1; k <= count; ++k)
        lines << harvest::numbered(task.addr, k);
    lines << (example == List ? harvest::summaryLine(count, listDuplicates(pages))
                              : harvest::summaryLine(count));
    return lines;
}

// Result lines: the title line, then a numbered line per page.
QList<QStringList> expectedRows(const demosite::ExampleTask& task, Example example, int pages)
{
    QStringList title{QStringLiteral("序号")};
    for (const demosite::ExampleField& f : task.fields)
        title << f.name;
    QList<QStringList> rows{title};
    for (int k = 1; k <= pages; ++k)
        rows << (QStringList{QString::number(k)} + pageValues(example, k));
    return rows;
}

QByteArray fileText(const QList<QStringList>& rows, const QString& separator)
{
    QStringList lines;
    for (const QStringList& row : rows)
        lines << row.join(separator);
    return test::crlfLines(lines);
}

void clickOn(QWidget* w, const char* name)
{
    QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
}

// Saves pictures of windows into the tutorial's picture folder; does nothing
// without it.
class Pictures
{
public:
    Pictures() : m_folder(test::pictureFolder(QStringLiteral("tutorial"))) {}
    bool on() const { return !m_folder.isEmpty(); }
    void save(QWidget* w, const QString& name) const
    {
        if (on() && !w->grab().save(m_folder + name + QStringLiteral(".png")))
            qWarning("cannot save the picture %s", qPrintable(name));
    }

    // The text file as a text editor shows it.
    void saveText(const QByteArray& bytes, const QString& name) const
    {
        if (!on())
            return;
        QPlainTextEdit view;
        view.setWindowTitle(name);
        view.setLineWrapMode(QPlainTextEdit::NoWrap);
        view.setPlainText(codepage::toUnicode(bytes));
        view.resize(900, 420);
        view.show();
        save(&view, name);
    }

    // The tab-separated file as a spreadsheet shows it: a cell per value under
    // lettered columns and numbered rows.
    void saveSheet(const QByteArray& bytes, const QString& name) const
    {
        if (!on())
            return;
        const QStringList lines =
            codepage::toUnicode(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QTableWidget sheet;
        sheet.setRowCount(int(lines.size()));
        sheet.setColumnCount(0);
        for (int r = 0; r < lines.size(); ++r) {
            const QStringList cells = lines[r].split(QLatin1Char('\t'));
            if (sheet.columnCount() < cells.size())
                sheet.setColumnCount(int(cells.size()));
            for (int c = 0; c < cells.size(); ++c)
                sheet.setItem(r, c, new QTableWidgetItem(cells[c]));
        }
        QStringList letters;
        for (int c = 0; c < sheet.columnCount(); ++c)
            letters << QString(QChar(u'A' + c));
        sheet.setHorizontalHeaderLabels(letters);
        sheet.resizeColumnsToContents();
        sheet.verticalHeader()->setDefaultSectionSize(22);
        sheet.resize(900, 420);
        sheet.show();
        save(&sheet, name);
    }

private:
    QString m_folder;
};

} // namespace

class TstWholeRoad : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void exampleTask_data();
    void exampleTask();

private:
    QString site() const { return demosite::siteAddress(m_server.port()); }
    QString taskFolder(const demosite::ExampleTask& task) const
    {
        return m_world->workPath() + QStringLiteral("WorkDir/") + task.name;
    }
    // A click on a harvesting button that returns when its run has; a run
    // still going after the watchdog's time is stopped and the test fails.
    void clickRun(TfrmProcess* w, const char* name, const QString& idleCaption);
    void logIn(QWidget* login);
    // The execution window's part of the road, up to its closing.
    void harvestAndExtract(TfrmProcess* w, const demosite::ExampleTask& task, Example example);

    QTemporaryDir m_profileDir;
    demosite::Server m_server;
    Pictures m_pictures;
    std::unique_ptr<test::TempWorld> m_world;
    std::unique_ptr<test::MessageRecorder> m_boxes;
    std::unique_ptr<TfrmMain> m_main;
    QStringList m_watchdogFired;
    bool m_processDone = false;
};

void TstWholeRoad::initTestCase()
{
    QVERIFY(m_profileDir.isValid());
    harvest::setBrowserProfileFolderForTesting(m_profileDir.path());
    // The pictures show the site's usual address when it is free.
    if (!m_pictures.on() || m_server.start(demosite::DefaultPort) < 0)
        QVERIFY(m_server.start(0) > 0);
}

void TstWholeRoad::cleanup()
{
    test::cancelModalWatches();
    if (m_main)
        m_main->hide();
    m_main.reset();
    m_boxes.reset();
    m_world.reset();
}

void TstWholeRoad::cleanupTestCase()
{
    m_server.stop();
}

void TstWholeRoad::clickRun(TfrmProcess* w, const char* name, const QString& idleCaption)
{
    auto* button = child<QPushButton>(w, name);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this, button, idleCaption] {
        m_watchdogFired << idleCaption;
        if (button->text() != idleCaption)
            QTest::mouseClick(button, Qt::LeftButton);
    });
    watchdog.start(RunWatchdog);
    QTest::mouseClick(button, Qt::LeftButton);
}

void TstWholeRoad::logIn(QWidget* login)
{
    auto* view = child<QWebEngineView>(login, "wbLogin");
    QTRY_COMPARE_WITH_TIMEOUT(view->title(), QStringLiteral("会员登录"), PageWait);
    const QString fill = QStringLiteral("document.getElementById('user').value = '%1';"
                                        "document.getElementById('password').value = '%2';")
                             .arg(QLatin1String(demosite::User), QLatin1String(demosite::Password));
    bool filled = false;
    view->page()->runJavaScript(fill + QStringLiteral("true;"),
                                [&filled](const QVariant& v) { filled = v.toBool(); });
    QTRY_VERIFY_WITH_TIMEOUT(filled, PageWait);
    m_pictures.save(login, QStringLiteral("login"));
    view->page()->runJavaScript(QStringLiteral("document.getElementById('submit').click();"));
    QTRY_COMPARE_WITH_TIMEOUT(view->title(), QStringLiteral("登录成功"), PageWait);
}

void TstWholeRoad::harvestAndExtract(TfrmProcess* w, const demosite::ExampleTask& task,
                                     Example example)
{
    const QString folder = taskFolder(task);
    const QStringList list = expectedList(task, example);
    const int pages = int(list.size()) - 1;
    QVERIFY(QTest::qWaitForWindowExposed(w));

    clickRun(w, "btnCreateLst", QStringLiteral("生成列表"));
    QCOMPARE(test::contents(folder + QStringLiteral("/ResHtmls.lst")), test::crlfLines(list));
    auto* listBox = child<QListWidget>(w, "ListBox1");
    QCOMPARE(listBox->count(), list.size());
    QCOMPARE(listBox->item(0)->text(), list.first());
    QCOMPARE(listBox->currentItem()->text(), list.last());
    if (example == Ordinal)
        m_pictures.save(w, QStringLiteral("pagelist"));

    // The picture of the saving run is taken half way through it.
    auto* gauge = child<QProgressBar>(w, "gHint");
    QTimer halfWay;
    if (example == Ordinal && m_pictures.on()) {
        connect(&halfWay, &QTimer::timeout, this, [&] {
            if (gauge->value() * 2 < gauge->maximum() || gauge->maximum() != pages)
                return;
            halfWay.stop();
            m_pictures.save(w, QStringLiteral("pagesave"));
        });
        halfWay.start(10);
    }
    clickRun(w, "btnSaveHtml", QStringLiteral("保存网页"));
    halfWay.stop();
    QCOMPARE(QDir(folder + QStringLiteral("/HTML")).entryList(QDir::Files).size(), pages);
    QCOMPARE(gauge->maximum(), pages);
    QCOMPARE(gauge->value(), pages);

    auto* tabs = child<QTabWidget>(w, "PageControl1");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(w->fieldPage().aqryDesc().recordCount(), task.fields.size());
    if (example == Ordinal)
        m_pictures.save(w, QStringLiteral("fields"));

    // A test run reads the first pages only: as many as the test value and two.
    auto* testBox = child<QCheckBox>(w, "cbTest");
    QVERIFY(testBox->isChecked());
    clickOn(w, "Button3");
    const QList<TfrmTest*> results = w->findChildren<TfrmTest*>();
    QCOMPARE(results.size(), 1);
    TfrmTest* result = results.first();
    QVERIFY(QTest::qWaitForWindowExposed(result));
    auto* grid = child<extract::StringGrid>(result, "StringGrid1");
    const QList<QStringList> tested =
        expectedRows(task, example, qMin(pages, Settings::DefaultTestValue + 2));
    QCOMPARE(grid->rowCount(), tested.size());
    QCOMPARE(grid->colCount(), tested.first().size());
    for (int r = 0; r < tested.size(); ++r)
        for (int c = 0; c < tested[r].size(); ++c)
            QCOMPARE(grid->cellText(c, r), tested[r][c]);
    QVERIFY(!QFile::exists(folder + QStringLiteral("/Infos.txt")));
    if (example == Ordinal)
        m_pictures.save(result, QStringLiteral("testwindow"));
    result->close();

    QTest::mouseClick(testBox, Qt::LeftButton);
    QVERIFY(!testBox->isChecked());
    clickOn(w, "Button3");
    QCOMPARE(w->findChildren<TfrmTest*>().size(), 1);
    const QList<QStringList> rows = expectedRows(task, example, pages);
    const QByteArray txt = test::contents(folder + QStringLiteral("/Infos.txt"));
    const QByteArray xls = test::contents(folder + QStringLiteral("/Infos.xls"));
    QCOMPARE(txt, fileText(rows, Separator));
    QCOMPARE(xls, fileText(rows, QStringLiteral("\t")));
    if (example == Ordinal) {
        m_pictures.saveText(txt, QStringLiteral("infos-txt"));
        m_pictures.saveSheet(xls, QStringLiteral("infos-xls"));
    }
    m_processDone = true;
    clickOn(w, "Button2");
}

void TstWholeRoad::exampleTask_data()
{
    QTest::addColumn<int>("example");
    QTest::newRow("numbered articles") << int(Ordinal);
    QTest::newRow("list pages") << int(List);
    QTest::newRow("member pages behind the login") << int(Member);
}

void TstWholeRoad::exampleTask()
{
    QFETCH(int, example);
    const test::CodePagePinned pinned(codepage::Gbk);
    m_world = std::make_unique<test::TempWorld>();
    m_boxes = std::make_unique<test::MessageRecorder>();
    m_watchdogFired.clear();
    m_processDone = false;
    {
        store::Database db;
        db.open(m_world->storePath());
        demosite::addExampleTasks(db, site());
    }
    Settings(m_world->settingsPath()).setWorkPath(m_world->workPath());
    const demosite::ExampleTask task = demosite::exampleTasks(site()).at(example);

    m_main = std::make_unique<TfrmMain>(m_world->settingsPath());
    QVERIFY(m_main->FormCreate());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    auto* tasks = child<QTableView>(m_main.get(), "DBGrid1");
    QCOMPARE(tasks->model()->rowCount(), 3);
    const QModelIndex name = tasks->model()->index(example, 1);
    QCOMPARE(name.data().toString(), task.name);
    QTest::mouseClick(tasks->viewport(), Qt::LeftButton, {}, tasks->visualRect(name).center());
    QCOMPARE(m_main->aqryTask().field(QStringLiteral("TaskName")).asString(), task.name);
    if (example == Ordinal)
        m_pictures.save(m_main.get(), QStringLiteral("main"));

    // The editor shows the task as it was made; leaving it changes nothing.
    QString shownName;
    auto edited = test::onNextModal("TfrmEdtTask", [&](QWidget* dlg) {
        shownName = child<QLineEdit>(dlg, "DBEdit13")->text();
        if (example != Member)
            m_pictures.save(dlg, example == Ordinal ? QStringLiteral("editor")
                                                    : QStringLiteral("editor-list"));
        clickOn(dlg, "btnCancel");
    });
    clickOn(m_main.get(), "SpeedButton3");
    QVERIFY(*edited);
    QCOMPARE(shownName, task.name);

    bool loggedIn = false;
    const auto process = [&](QWidget* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("执行任务 - ") + task.name);
        harvestAndExtract(qobject_cast<TfrmProcess*>(w), task, Example(example));
    };
    std::shared_ptr<bool> processed;
    std::shared_ptr<bool> loginShown;
    if (example == Member) {
        loginShown = test::onNextModal("TfrmLogin", [&](QWidget* login) {
            logIn(login);
            loggedIn = !QTest::currentTestFailed();
            processed = test::onNextModal("TfrmProcess", process);
            login->close();
        });
    } else {
        processed = test::onNextModal("TfrmProcess", process);
    }
    clickOn(m_main.get(), "SpeedButton6");
    if (loginShown) {
        QVERIFY(*loginShown);
        QVERIFY(loggedIn);
    }
    QVERIFY(processed && *processed);
    QVERIFY(m_processDone);
    QCOMPARE(m_watchdogFired, QStringList());
    QCOMPARE(m_boxes->count(), 0);
    QVERIFY(!QApplication::activeModalWidget());
    // Both counters stand at the end of the task's range and list.
    const QList<QVariantList> counters = test::rowsOf(
        m_world->storePath(),
        QStringLiteral("select ResCurrent, SaveCurrent from Tasks where TaskName = '%1'")
            .arg(task.name));
    QCOMPARE(counters.size(), 1);
    QCOMPARE(counters[0][0].toInt(), task.end);
    QCOMPARE(counters[0][1].toInt(), int(expectedList(task, Example(example)).size()) - 1);
}

QTEST_MAIN(TstWholeRoad)
#include "tst_wholeroad.moc"
