// The execution window as a frame: opening, the work and task folders, the page
// list, the status bars, the stop protocol and closing during a run.
#include "harvest/browserprofile.h"
#include "harvest/core/taskfolder.h"
#include "harvest/ufrmProcess.h"
#include "platform/codepage.h"
#include "platform/settings.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/testsupport.h"
#include "ui/appwindows.h"
#include "ui/guard.h"
#include "ui/shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <optional>

using namespace pagrim;

namespace {

const QString Ready = QStringLiteral(" 就绪 ");

void addDesc(const QString& storePath, int id, int taskId, const QString& name, bool need)
{
    test::execOn(storePath,
                 QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, DescStart, "
                                "DescEnd) values (?, ?, ?, ?, '<b>', '</b>')"),
                 {id, taskId, name, need ? 1 : 0});
}

using test::child;

} // namespace

class TstProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir profileDir;
    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<test::MessageRecorder> boxes;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<store::DataSet> tasks;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TfrmProcess> frm;

    // The window on the task with the given key, shown (modal, without its own loop).
    TfrmProcess& open(int taskId = 1)
    {
        conn = std::make_unique<store::Connection>();
        conn->open();
        tasks = std::make_unique<store::DataSet>(*conn);
        tasks->setCommandText(QStringLiteral("select * from Tasks order by TaskID"));
        tasks->open();
        while (!tasks->eof() && tasks->field(QStringLiteral("TaskID")).asInteger() != taskId)
            tasks->next();
        frm = std::make_unique<TfrmProcess>(*tasks, *conn, *settings);
        frm->setTaskRecord(tasks.get());
        frm->setWindowTitle(QStringLiteral("执行任务 - ") +
                            tasks->field(QStringLiteral("TaskName")).asString());
        frm->show();
        return *frm;
    }
    void closeWindow()
    {
        if (frm && frm->isVisible())
            frm->close();
        frm.reset();
        tasks.reset();
        conn.reset();
    }
    QString workDir() const { return world->path() + QStringLiteral("/Data/WorkDir/"); }
    void useWorkPath()
    {
        QVERIFY(QDir(world->path()).mkdir(QStringLiteral("Data")));
        settings->WriteString(QStringLiteral("SysConfig"), QStringLiteral("WorkPath"),
                              world->path() + QStringLiteral("/Data/"));
    }
    void writePageList(const QString& taskFolder, const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(taskFolder));
        QFile f(taskFolder + QStringLiteral("/ResHtmls.lst"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // A run started by a click on btnSaveHtml, as the page saving handler does.
    void connectSaveRun(TfrmProcess& w, std::function<void()> body,
                        std::function<bool()> prepare = {})
    {
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        auto* create = child<QPushButton>(&w, "btnCreateLst");
        connect(save, &QPushButton::clicked, &w, [&w, save, create, body, prepare] {
            ui::guarded(
                [&] { w.runHarvest(*save, QStringLiteral("保存网页"), *create, prepare, body); });
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(profileDir.isValid());
        harvest::setBrowserProfileFolderForTesting(profileDir.path());
    }
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        boxes = std::make_unique<test::MessageRecorder>();
        settings = std::make_unique<Settings>(world->file(QStringLiteral("Pagrim.ini")));
        test::addTask(world->storePath(), 1, QStringLiteral("任务一"),
                      {{QStringLiteral("ResEnd"), 9}, {QStringLiteral("SaveCurrent"), 1}});
        test::addTask(world->storePath(), 2, QStringLiteral("A\\B"),
                      {{QStringLiteral("ResEnd"), 9}});
    }
    void cleanup()
    {
        closeWindow();
        ui::setShellHandler({});
        settings.reset();
        boxes.reset();
        world.reset();
    }

    void opensOnFirstPageReady()
    {
        TfrmProcess& w = open();
        QCOMPARE(w.windowTitle(), QStringLiteral("执行任务 - 任务一"));
        QCOMPARE(w.size(), QSize(688, 453));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        auto* pages = child<QTabWidget>(&w, "PageControl1");
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(w.focusWidget(), pages->tabBar());
        QCOMPARE(pages->tabText(0), QStringLiteral(" 搜索并保存网页 "));
        QCOMPARE(pages->tabText(1), QStringLiteral(" 设置提取字段 "));
        QVERIFY(child<QCheckBox>(&w, "cbTest")->isChecked());
        auto* bar = child<QStatusBar>(&w, "StatusBar1");
        auto* gauge = child<QProgressBar>(&w, "gHint");
        QCOMPARE(gauge->parentWidget(), bar);
        QCOMPARE(gauge->geometry(), QRect(bar->width() - 154 - 3, 4, 154, 16));
        QCOMPARE(bar->height(), 21);
        QCOMPARE(child<QStatusBar>(&w, "StatusBar2")->height(), 19);
        // The first idle pass shows both bars ready.
        QVERIFY(test::waitForIdle());
        QCOMPARE(bar->currentMessage(), Ready);
        QCOMPARE(child<QStatusBar>(&w, "StatusBar2")->currentMessage(), Ready);
        QCOMPARE(w.FieldSeparator(), QStringLiteral("*"));
        QCOMPARE(boxes->count(), 0);
    }

    void workFolder_data()
    {
        QTest::addColumn<QString>("setting");  // "@" is the world's folder; "-" no key
        QTest::addColumn<QString>("expected"); // "%" is the program folder
        QTest::newRow("no WorkPath") << "-"
                                     << "%WorkDir/";
        QTest::newRow("existing") << "@/Data/"
                                  << "@/Data/WorkDir/";
        QTest::newRow("missing") << "@/Gone/"
                                 << "%WorkDir/";
        QTest::newRow("no trailing separator") << "@/Data"
                                               << "@/DataWorkDir/";
    }
    void workFolder()
    {
        QFETCH(QString, setting);
        QFETCH(QString, expected);
        QVERIFY(QDir(world->path()).mkdir(QStringLiteral("Data")));
        if (setting != QLatin1String("-"))
            settings->WriteString(QStringLiteral("SysConfig"), QStringLiteral("WorkPath"),
                                  setting.replace(QLatin1Char('@'), world->path()));
        expected.replace(QLatin1Char('@'), world->path());
        expected.replace(QLatin1Char('%'), Settings::programFolder());
        TfrmProcess& w = open();
        QCOMPARE(w.WorkFolder(), expected);
        QCOMPARE(w.taskFolder(), expected + QStringLiteral("任务一"));
        // Opening creates nothing.
        QVERIFY(!QFileInfo::exists(expected));
    }

    void withoutPageList()
    {
        useWorkPath();
        TfrmProcess& w = open();
        QCOMPARE(child<QListWidget>(&w, "ListBox1")->count(), 0);
        auto* gauge = child<QProgressBar>(&w, "gHint");
        QCOMPARE(gauge->value(), 0);
        QCOMPARE(gauge->text(), QStringLiteral("0%"));
    }

    void pageListShown()
    {
        useWorkPath();
        std::optional<test::CodePagePinned> gbk(std::in_place, codepage::Gbk);
        const QByteArray chinese = codepage::fromUnicode(QStringLiteral("http://h/页2"));
        writePageList(workDir() + QStringLiteral("任务一"),
                      "http://h/1\r\n" + chinese + "\nhttp://h/3\rhttp://h/4\r\n" +
                          codepage::fromUnicode(QStringLiteral("共 4 页")));
        TfrmProcess& w = open();
        gbk.reset(); // the list was read in the pinned code page
        auto* list = child<QListWidget>(&w, "ListBox1");
        QCOMPARE(list->count(), 5);
        QCOMPARE(list->item(1)->text(), QStringLiteral("http://h/页2"));
        QCOMPARE(list->item(4)->text(), QStringLiteral("共 4 页"));
        QCOMPARE(list->currentRow(), 4);
        QVERIFY(list->item(4)->isSelected());
        auto* gauge = child<QProgressBar>(&w, "gHint");
        QCOMPARE(gauge->maximum(), 4);
        QCOMPARE(gauge->value(), 1); // SaveCurrent of the task
        QCOMPARE(gauge->text(), QStringLiteral("25%"));
    }

    void nestedTaskFolder()
    {
        useWorkPath();
        writePageList(workDir() + QStringLiteral("A/B"), "http://h/1\r\n共 1 页\r\n");
        TfrmProcess& w = open(2);
        QCOMPARE(w.taskFolder(), workDir() + QStringLiteral("A/B"));
        QCOMPARE(child<QListWidget>(&w, "ListBox1")->count(), 2);
        QStringList shell;
        ui::setShellHandler(
            [&](const QString& verb, const QString& path) { shell << verb << path; });
        QTest::mouseClick(child<QPushButton>(&w, "Button1"), Qt::LeftButton);
        QCOMPARE(shell,
                 QStringList({QStringLiteral("ExPlore"), workDir() + QStringLiteral("A/B")}));
    }

    void ensureFolderFailureShown()
    {
        useWorkPath();
        QVERIFY(QDir().mkpath(workDir()));
        QFile blocker(workDir() + QStringLiteral("任务一"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TfrmProcess& w = open();
        connectSaveRun(w,
                       [&w] { harvest::EnsureFolder(w.taskFolder() + QStringLiteral("/HTML/")); });
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        auto* create = child<QPushButton>(&w, "btnCreateLst");
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("工作路径访问失败！."));
        QCOMPARE(boxes->last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(boxes->last().icon, ui::Icon::Error);
        // The failed run leaves its buttons; the next click puts them back.
        QCOMPARE(save->text(), QStringLiteral("停止"));
        QVERIFY(!create->isEnabled());
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(save->text(), QStringLiteral("保存网页"));
        QVERIFY(create->isEnabled());
        QVERIFY(!w.Running());
    }

    void stopProtocol()
    {
        TfrmProcess& w = open();
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        auto* create = child<QPushButton>(&w, "btnCreateLst");
        QStringList seen;
        int passes = 0;
        connectSaveRun(w, [&] {
            seen << save->text()
                 << (create->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"));
            w.ShowStatus(QStringLiteral(" 正在保存 "));
            QTimer::singleShot(100, save, [save] { QTest::mouseClick(save, Qt::LeftButton); });
            const QDeadlineTimer deadline(10000);
            while (w.Running() && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
                ++passes;
            }
            QVERIFY2(!w.Running(), "the stop click never arrived");
            // The stop only changed the state; the run's status stays until it returns.
            seen << save->text()
                 << (create->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"))
                 << child<QStatusBar>(&w, "StatusBar1")->currentMessage();
        });
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(seen, QStringList({QStringLiteral("停止"), QStringLiteral("off"),
                                    QStringLiteral("保存网页"), QStringLiteral("on"),
                                    QStringLiteral(" 正在保存 ")}));
        QVERIFY(passes > 0);
        QVERIFY(!w.Running());
        QCOMPARE(save->text(), QStringLiteral("保存网页"));
        QVERIFY(create->isEnabled());
        QVERIFY(test::waitForIdle());
        QCOMPARE(child<QStatusBar>(&w, "StatusBar1")->currentMessage(), Ready);
    }

    void refusedStartLeavesButtons()
    {
        TfrmProcess& w = open();
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        auto* create = child<QPushButton>(&w, "btnCreateLst");
        bool ran = false;
        connectSaveRun(
            w, [&] { ran = true; }, [] { return false; });
        QTest::mouseClick(save, Qt::LeftButton);
        QVERIFY(!ran);
        QCOMPARE(save->text(), QStringLiteral("保存网页"));
        QVERIFY(create->isEnabled());
        QVERIFY(w.Running()); // a refused start has set Running, as a started one does
    }

    void noNewRunUnderAStoppedOne()
    {
        TfrmProcess& w = open();
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        int starts = 0;
        bool resumed = false;
        connectSaveRun(w, [&] {
            if (++starts > 1)
                return;
            QTest::mouseClick(save, Qt::LeftButton); // stop
            QTest::mouseClick(save, Qt::LeftButton); // a start before this run returned
            resumed = w.Running();
        });
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(starts, 1);
        QVERIFY(!resumed);
    }

    void closeDuringRun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Button2") << "Button2";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("close box") << "close";
    }
    void closeDuringRun()
    {
        QFETCH(QString, how);
        TfrmProcess& w = open();
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        bool closeAsked = false;
        int passesAfterClose = 0;
        bool visibleAtEnd = false;
        connectSaveRun(w, [&] {
            QTimer::singleShot(50, &w, [&] {
                if (how == QLatin1String("Button2"))
                    QTest::mouseClick(child<QPushButton>(&w, "Button2"), Qt::LeftButton);
                else if (how == QLatin1String("Esc"))
                    QTest::keyClick(child<QListWidget>(&w, "ListBox1"), Qt::Key_Escape);
                else
                    w.close();
                closeAsked = true;
            });
            QTimer::singleShot(300, save, [save] { QTest::mouseClick(save, Qt::LeftButton); });
            const QDeadlineTimer deadline(10000);
            while (w.Running() && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
                if (closeAsked)
                    ++passesAfterClose;
            }
            QVERIFY2(!w.Running(), "the stop click never arrived");
            visibleAtEnd = w.isVisible();
        });
        QTimer::singleShot(0, save, [save] { QTest::mouseClick(save, Qt::LeftButton); });
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QVERIFY(closeAsked);
        QVERIFY(passesAfterClose > 0);
        QVERIFY(visibleAtEnd);
        QVERIFY(QFile::exists(settings->path())); // FormClose stored the grid layout
    }

    void closeDuringFailingRun()
    {
        TfrmProcess& w = open();
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        connectSaveRun(w, [&] {
            w.close();
            QVERIFY(w.isVisible());
            throw Error(QStringLiteral("工作路径访问失败！"));
        });
        QTimer::singleShot(0, save, [save] { QTest::mouseClick(save, Qt::LeftButton); });
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("工作路径访问失败！."));
    }

    void escCloses_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("focus");
        QTest::newRow("first page") << 0 << "ListBox1";
        QTest::newRow("second page, grid") << 1 << "dbGrid1";
        QTest::newRow("second page, memo") << 1 << "DBMemo2";
        QTest::newRow("second page, edit") << 1 << "DBEdit1";
    }
    void escCloses()
    {
        QFETCH(int, page);
        QFETCH(QString, focus);
        addDesc(world->storePath(), 1, 1, QStringLiteral("标题"), true);
        TfrmProcess& w = open();
        child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(page);
        QWidget* target = child<QWidget>(&w, focus.toLatin1().constData());
        QTest::keyClick(target, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void closeButtonsAndExec_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("first page") << "Button2";
        QTest::newRow("second page") << "Button4";
    }
    void closeButtonsAndExec()
    {
        QFETCH(QString, button);
        TfrmProcess& w = open();
        w.hide();
        auto ran = test::onNextModal("TfrmProcess", [button](QWidget* dlg) {
            QTest::mouseClick(child<QPushButton>(dlg, button.toLatin1().constData()),
                              Qt::LeftButton);
        });
        w.exec();
        QVERIFY(*ran);
        QVERIFY(!w.isVisible());
    }

    void fieldQueryFollowsTask()
    {
        addDesc(world->storePath(), 1, 1, QStringLiteral("标题"), true);
        addDesc(world->storePath(), 2, 2, QStringLiteral("别的任务"), false);
        addDesc(world->storePath(), 3, 1, QStringLiteral("作者"), false);
        TfrmProcess& w = open();
        auto* grid = child<QTableView>(&w, "dbGrid1");
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("选中"));
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("提取字段名称"));
        QCOMPARE(w.aqryDesc().field(QStringLiteral("DescName")).asString(), QStringLiteral("标题"));
        QCOMPARE(child<QLineEdit>(&w, "DBEdit1")->text(), QStringLiteral("标题"));
    }

    void gridWidthsKept()
    {
        {
            TfrmProcess& w = open();
            auto* grid = child<QTableView>(&w, "dbGrid1");
            QCOMPARE(grid->columnWidth(0), 100);
            QCOMPARE(grid->columnWidth(1), 100);
            grid->setColumnWidth(1, 150);
            closeWindow();
        }
        QCOMPARE(settings->ReadInteger(QStringLiteral("frmProcess-dbGrid1"),
                                       QStringLiteral("DescName"), 0),
                 150);
        TfrmProcess& w = open();
        QCOMPARE(child<QTableView>(&w, "dbGrid1")->columnWidth(0), 100);
        QCOMPARE(child<QTableView>(&w, "dbGrid1")->columnWidth(1), 150);
    }

    void closesWhenLayoutCannotBeStored()
    {
        TfrmProcess& w = open();
        // A folder in place of the settings file: no write can succeed.
        QVERIFY(QDir().mkpath(settings->path()));
        w.close();
        QVERIFY(!w.isVisible());
        QCOMPARE(boxes->count(), 1);
        QVERIFY(boxes->last().text.startsWith(QStringLiteral("Unable to write to")));
    }

    void minimiseTakesAllDown()
    {
        QWidget main;
        main.setWindowTitle(QStringLiteral("main"));
        main.show();
        TfrmProcess& w = open();
        w.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(main.isMinimized(), 2000);
        pagrim::ui::RestoreApplication();
        QVERIFY(!main.isMinimized());
        QVERIFY(!w.isMinimized());
        // The end of a run restores the program too.
        w.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(main.isMinimized(), 2000);
        connectSaveRun(w, [] {});
        QTest::mouseClick(child<QPushButton>(&w, "btnSaveHtml"), Qt::LeftButton);
        QVERIFY(!main.isMinimized());
        QVERIFY(!w.isMinimized());
    }

    void lookAtIt()
    {
        addDesc(world->storePath(), 1, 1, QStringLiteral("标题"), true);
        addDesc(world->storePath(), 3, 1, QStringLiteral("作者"), false);
        useWorkPath();
        writePageList(
            workDir() + QStringLiteral("任务一"),
            "http://127.0.0.1/1.htm\r\nhttp://127.0.0.1/2.htm\r\nhttp://127.0.0.1/3.htm\r\n"
            "2 pages\r\n");
        TfrmProcess& w = open();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString dir =
            qEnvironmentVariable("PAGRIM_SHOTS", QCoreApplication::applicationDirPath() +
                                                     QStringLiteral("/screenshots"));
        QDir().mkpath(dir);
        QVERIFY(w.grab().save(dir + QStringLiteral("/process1.png")));
        child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(1);
        QCoreApplication::processEvents();
        QVERIFY(w.grab().save(dir + QStringLiteral("/process2.png")));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TstProcess t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_process.moc"
