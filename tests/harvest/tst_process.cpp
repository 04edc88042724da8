// The execution window as a frame: opening, the work and task folders, the page
// list, the status bars, the stop protocol and closing during a run.
#include "extract/ufrmTest.h"
#include "harvest/browserprofile.h"
#include "harvest/ufrmProcess.h"
#include "platform/codepage.h"
#include "platform/settings.h"
#include "platform/taskfolder.h"
#include "platform/tasklock.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/taskwindow.h"
#include "ui/appwindows.h"
#include "ui/guard.h"
#include "ui/shell.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <optional>
#include <utility>

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

using test::commitText;

// The centre of a row of the field list, in its viewport.
QPoint rowCentre(QTableView* grid, int row)
{
    return grid->visualRect(grid->model()->index(row, 1)).center();
}

} // namespace

class TstProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir profileDir;
    std::unique_ptr<test::TaskWindow> m_w;

    TfrmProcess& open(int taskId = 1, QWidget* owner = nullptr) { return m_w->open(taskId, owner); }
    QString workDir() const { return m_w->world.workPath() + QStringLiteral("WorkDir/"); }
    void writePageList(const QString& taskFolder, const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(taskFolder));
        test::put(taskFolder + QStringLiteral("/ResHtmls.lst"), bytes);
    }
    // A run started by a click on btnSaveHtml, as the page saving handler does.
    void connectSaveRun(TfrmProcess& w, std::function<void()> body,
                        std::function<bool()> prepare = {})
    {
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        auto* create = child<QPushButton>(&w, "btnCreateLst");
        // The test's run takes the place of the window's own page saving.
        disconnect(save, &QPushButton::clicked, &w, nullptr);
        connect(save, &QPushButton::clicked, &w, [&w, save, create, body, prepare] {
            ui::guarded(
                [&] { w.runHarvest(*save, QStringLiteral("保存网页"), *create, prepare, body); });
        });
    }

    // A number the store answers, on the window's connection.
    int number(const QString& sql) { return test::queryInteger(*m_w->conn, sql); }
    // The second page with the field list current.
    void toFieldPage(TfrmProcess& w)
    {
        child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(1);
        QApplication::setActiveWindow(&w);
    }
    // Types a new name for the current field row into DBEdit1, as a user does.
    QLineEdit* typeName(TfrmProcess& w, const QString& name)
    {
        auto* edit = child<QLineEdit>(&w, "DBEdit1");
        edit->setFocus();
        edit->selectAll();
        commitText(edit, name);
        return edit;
    }
    QString navigatorEnabled(TfrmProcess& w)
    {
        QString out;
        for (const char* n : {"nbFirst", "nbPrior", "nbNext", "nbLast", "nbInsert", "nbDelete",
                              "nbPost", "nbCancel"})
            out += child<QToolButton>(&w, n)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return out;
    }

    // Pages in the task's pages folder: name -> bytes.
    QString pagesFolder() const { return m_w->taskFolder() + QStringLiteral("/HTML/"); }
    void writePages(const QList<std::pair<QString, QByteArray>>& pages)
    {
        for (const auto& [name, bytes] : pages) {
            QVERIFY(QDir().mkpath(QFileInfo(pagesFolder() + name).path()));
            test::put(pagesFolder() + name, bytes);
        }
    }
    // A task with two selected fields and one not, and the pages 1..count.
    void extractionWorld(int count)
    {
        test::execOn(
            m_w->world.storePath(),
            QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, DescStart, "
                           "DescEnd) values (1, 1, 'T', 1, '<t>', '</t>'), (2, 1, 'X', 0, '<x>', "
                           "'</x>'), (3, 1, 'A', 1, '<a>', '</a>')"));
        for (int i = 1; i <= count; ++i)
            writePages({{QStringLiteral("%1.Htm").arg(i),
                         "<t>t" + QByteArray::number(i) + "</t>\n<a>a</a>"}});
    }
    QString taskFile(const char* name) const
    {
        return m_w->taskFolder() + QLatin1Char('/') + QLatin1String(name);
    }
    QList<QWidget*> runControls(TfrmProcess& w)
    {
        QList<QWidget*> out;
        for (const char* n : {"Button3", "btnCreateLst", "btnSaveHtml", "dbGrid1", "DBNavigator1",
                              "DBEdit1", "DBMemo2", "DBMemo3", "SpeedButton1", "SpeedButton2"})
            out << child<QWidget>(&w, n);
        return out;
    }
    static QString enabling(const QList<QWidget*>& widgets)
    {
        QString out;
        for (QWidget* c : widgets)
            out += c->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(profileDir.isValid());
        harvest::setBrowserProfileFolderForTesting(profileDir.path());
    }
    void init()
    {
        m_w = std::make_unique<test::TaskWindow>();
        test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task,
                      {{QStringLiteral("ResEnd"), 9}, {QStringLiteral("SaveCurrent"), 1}});
        test::addTask(m_w->world.storePath(), 2, QStringLiteral("A\\B"),
                      {{QStringLiteral("ResEnd"), 9}});
    }
    void cleanup()
    {
        m_w.reset();
        ui::setShellHandler({});
    }

    void opensOnFirstPageReady()
    {
        TfrmProcess& w = open();
        QCOMPARE(w.windowTitle(), QStringLiteral("执行任务 - ") + test::TaskWindow::Task);
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
        QCOMPARE(w.fieldPage().FieldSeparator(), QStringLiteral("*"));
        QCOMPARE(m_w->boxes.count(), 0);
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
        QVERIFY(QDir(m_w->world.path()).mkdir(QStringLiteral("Data")));
        if (setting == QLatin1String("-"))
            QVERIFY(QFile::remove(m_w->settings.path()));
        else
            m_w->settings.setWorkPath(setting.replace(QLatin1Char('@'), m_w->world.path()));
        expected.replace(QLatin1Char('@'), m_w->world.path());
        expected.replace(QLatin1Char('%'), Settings::programFolder());
        TfrmProcess& w = open();
        QCOMPARE(w.WorkFolder(), expected);
        QCOMPARE(w.taskFolder().path(), expected + test::TaskWindow::Task);
        // Opening creates nothing.
        QVERIFY(!QFileInfo::exists(expected));
    }

    void withoutPageList()
    {
        TfrmProcess& w = open();
        QCOMPARE(child<QListWidget>(&w, "ListBox1")->count(), 0);
        auto* gauge = child<QProgressBar>(&w, "gHint");
        QCOMPARE(gauge->value(), 0);
        QCOMPARE(gauge->text(), QStringLiteral("0%"));
    }

    void taskHeldByAnotherProgram()
    {
        // While another program runs the task, the window says so, and again at
        // every click, and runs nothing.
        const TaskFolder folder(m_w->taskFolder());
        auto other = std::make_unique<TaskLock>(folder);
        QVERIFY(other->take());
        TfrmProcess& w = open();
        QCOMPARE(m_w->boxes.count(), 1);
        QCOMPARE(m_w->boxes.last().text, TaskLock::busyText());
        QCOMPARE(m_w->boxes.last().caption, QStringLiteral("提示信息"));
        for (const char* name : {"btnCreateLst", "btnSaveHtml", "Button3"})
            child<QPushButton>(&w, name)->click();
        QCOMPARE(child<QPushButton>(&w, "btnCreateLst")->text(), QStringLiteral("生成列表"));
        QVERIFY(!QFileInfo::exists(m_w->listFile()));
        QVERIFY(!QFileInfo::exists(pagesFolder()));
        QCOMPARE(m_w->boxes.count(), 4);
        QCOMPARE(m_w->boxes.last().text, TaskLock::busyText());
        m_w->close();

        // Once it is done, a window on a task query read before takes the task
        // with the counters the other program left, and gives it back at its close.
        other.reset();
        store::Connection conn;
        conn.open();
        store::DataSet tasks(conn);
        tasks.setCommandText(QStringLiteral("select * from Tasks order by TaskID"));
        tasks.open();
        test::execOn(m_w->world.storePath(),
                     QStringLiteral("update Tasks set SaveCurrent = 7 where TaskID = 1"));
        TfrmProcess later(tasks, conn, m_w->settings);
        later.setTaskRecord(&tasks);
        later.show();
        QCOMPARE(tasks.field(QStringLiteral("SaveCurrent")).asInteger(), 7);
        QVERIFY(!TaskLock(folder).take());
        later.close();
        QVERIFY(TaskLock(folder).take());
        QCOMPARE(m_w->boxes.count(), 4);
    }

    void pageListShown()
    {
        std::optional<test::CodePagePinned> gbk(std::in_place, codepage::Gbk);
        const QByteArray chinese = codepage::fromUnicode(QStringLiteral("http://h/页2"));
        writePageList(m_w->taskFolder(), "http://h/1\r\n" + chinese +
                                             "\nhttp://h/3\rhttp://h/4\r\n" +
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
        writePageList(workDir() + QStringLiteral("A/B"), "http://h/1\r\n共 1 页\r\n");
        TfrmProcess& w = open(2);
        QCOMPARE(w.taskFolder().path(), workDir() + QStringLiteral("A/B"));
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
        QVERIFY(QDir().mkpath(workDir()));
        QFile blocker(m_w->taskFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TfrmProcess& w = open();
        connectSaveRun(w, [&w] { w.taskFolder().ensurePages(); });
        auto* save = child<QPushButton>(&w, "btnSaveHtml");
        auto* create = child<QPushButton>(&w, "btnCreateLst");
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(m_w->boxes.count(), 1);
        QCOMPARE(m_w->boxes.last().text, QStringLiteral("工作路径访问失败！."));
        QCOMPARE(m_w->boxes.last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(m_w->boxes.last().icon, ui::Icon::Error);
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
            QTimer::singleShot(0, save, [save] { QTest::mouseClick(save, Qt::LeftButton); });
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
            // The close, then the stop, while the run lets events through.
            QTimer::singleShot(0, &w, [&] {
                if (how == QLatin1String("Button2"))
                    QTest::mouseClick(child<QPushButton>(&w, "Button2"), Qt::LeftButton);
                else if (how == QLatin1String("Esc"))
                    QTest::keyClick(child<QListWidget>(&w, "ListBox1"), Qt::Key_Escape);
                else
                    w.close();
                closeAsked = true;
                QTimer::singleShot(0, save, [save] { QTest::mouseClick(save, Qt::LeftButton); });
            });
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
        // FormClose stored the grid layout.
        QCOMPARE(m_w->settings.ReadInteger(QStringLiteral("frmProcess-dbGrid1"),
                                           QStringLiteral("DescName"), 0),
                 100);
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
        QCOMPARE(m_w->boxes.count(), 1);
        QCOMPARE(m_w->boxes.last().text, QStringLiteral("工作路径访问失败！."));
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
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
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

    void buttonsTakeEnter_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QStringList>("shell");
        const QStringList explore{QStringLiteral("ExPlore")};
        QTest::newRow("打开工作文件夹") << 0 << "Button1" << false << explore;
        QTest::newRow("关闭窗口, first page") << 0 << "Button2" << true << QStringList();
        QTest::newRow("关闭窗口, second page") << 1 << "Button4" << true << QStringList();
        QTest::newRow("field name box: no default button")
            << 1 << "DBEdit1" << false << QStringList();
    }
    void buttonsTakeEnter()
    {
        QFETCH(int, page);
        QFETCH(QString, focus);
        QFETCH(bool, closed);
        QFETCH(QStringList, shell);
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
        QStringList verbs;
        ui::setShellHandler([&](const QString& verb, const QString&) { verbs << verb; });
        TfrmProcess& w = open();
        child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(page);
        QWidget* target = child<QWidget>(&w, focus.toLatin1().constData());
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(!w.isVisible(), closed);
        QCOMPARE(verbs, shell);
        QCOMPARE(m_w->boxes.count(), 0);
    }

    void opensCentredOnScreen()
    {
        // The main window sits in a corner; the execution window still opens in
        // the middle of the screen.
        QWidget owner;
        owner.setGeometry(0, 0, 200, 100);
        owner.show();
        const auto closeFirst = qScopeGuard([this] { m_w->close(); }); // before owner goes
        TfrmProcess& w = open(1, &owner);
        const QRect screen = w.screen()->availableGeometry();
        // Within the width of a frame border.
        const QPoint offset = w.frameGeometry().center() - screen.center();
        QVERIFY2(offset.manhattanLength() <= 8,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    }

    void fieldQueryFollowsTask()
    {
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
        addDesc(m_w->world.storePath(), 2, 2, QStringLiteral("别的任务"), false);
        addDesc(m_w->world.storePath(), 3, 1, QStringLiteral("作者"), false);
        TfrmProcess& w = open();
        auto* grid = child<QTableView>(&w, "dbGrid1");
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("选中"));
        QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("提取字段名称"));
        QCOMPARE(w.fieldPage().aqryDesc().field(QStringLiteral("DescName")).asString(),
                 QStringLiteral("标题"));
        QCOMPARE(child<QLineEdit>(&w, "DBEdit1")->text(), QStringLiteral("标题"));
    }

    void navigatorFollowsTheList()
    {
        TfrmProcess& w = open();
        toFieldPage(w);
        QStringList hints;
        for (const char* n : {"nbFirst", "nbPrior", "nbNext", "nbLast", "nbInsert", "nbDelete",
                              "nbPost", "nbCancel"})
            hints << child<QToolButton>(&w, n)->toolTip();
        QCOMPARE(hints.join(QLatin1Char(' ')),
                 QStringLiteral("第一条 上一条 下一条 最后一条 添加 删除 保存 取消"));
        // first prior next last insert delete post cancel
        QCOMPARE(navigatorEnabled(w), QStringLiteral("00001000"));
        QTest::mouseClick(child<QToolButton>(&w, "nbInsert"), Qt::LeftButton);
        QCOMPARE(navigatorEnabled(w), QStringLiteral("00001111"));
        QCOMPARE(child<QLineEdit>(&w, "DBEdit1")->text(), QStringLiteral("提取字段1"));
        auto* grid = child<QTableView>(&w, "dbGrid1");
        QCOMPARE(grid->model()->rowCount(), 1);
        QCOMPARE(grid->model()->index(0, 0).data(Qt::EditRole).toBool(), true);
        QTest::mouseClick(child<QToolButton>(&w, "nbCancel"), Qt::LeftButton);
        QCOMPARE(navigatorEnabled(w), QStringLiteral("00001000"));
        QCOMPARE(grid->model()->rowCount(), 0);
        QTest::mouseClick(child<QToolButton>(&w, "nbInsert"), Qt::LeftButton);
        QTest::mouseClick(child<QToolButton>(&w, "nbPost"), Qt::LeftButton);
        QTest::mouseClick(child<QToolButton>(&w, "nbInsert"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(&w, "DBEdit1")->text(), QStringLiteral("提取字段2"));
        QCOMPARE(w.fieldPage().aqryDesc().field(QStringLiteral("DescID")).asInteger(), 2);
        QTest::mouseClick(child<QToolButton>(&w, "nbPost"), Qt::LeftButton);
        QCOMPARE(navigatorEnabled(w), QStringLiteral("11001100"));
        // Delete at once, without asking.
        QTest::mouseClick(child<QToolButton>(&w, "nbDelete"), Qt::LeftButton);
        QCOMPARE(m_w->boxes.count(), 0);
        QCOMPARE(number(QStringLiteral("select count(*) from Descs")), 1);
        QCOMPARE(navigatorEnabled(w), QStringLiteral("00001100"));
    }

    void selectAllAndNone()
    {
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
        addDesc(m_w->world.storePath(), 2, 1, QStringLiteral("作者"), false);
        TfrmProcess& w = open();
        toFieldPage(w);
        auto* grid = child<QTableView>(&w, "dbGrid1");
        QTest::mouseClick(child<QToolButton>(&w, "SpeedButton2"), Qt::LeftButton);
        QCOMPARE(number(QStringLiteral("select count(*) from Descs where DescNeed = 0")), 2);
        QCOMPARE(grid->currentIndex().row(), 1);
        QCOMPARE(child<QLineEdit>(&w, "DBEdit1")->text(), QStringLiteral("作者"));
        QTest::mouseClick(child<QToolButton>(&w, "SpeedButton1"), Qt::LeftButton);
        QCOMPARE(grid->model()->index(0, 0).data(Qt::EditRole).toBool(), true);
        QCOMPARE(m_w->boxes.count(), 0);
    }

    void doubleClickAfterTypingStoresBoth()
    {
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
        addDesc(m_w->world.storePath(), 2, 1, QStringLiteral("作者"), false);
        TfrmProcess& w = open();
        toFieldPage(w);
        auto* grid = child<QTableView>(&w, "dbGrid1");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowCentre(grid, 1));
        typeName(w, QStringLiteral("出版社"));
        QCOMPARE(w.fieldPage().aqryDesc().state(), store::DataSet::State::Edit);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rowCentre(grid, 1));
        QCOMPARE(w.fieldPage().aqryDesc().state(), store::DataSet::State::Browse);
        QCOMPARE(number(QStringLiteral("select count(*) from Descs where DescID = 2 and "
                                       "DescName = '出版社' and DescNeed = 1")),
                 1);
        // Anywhere on the list, also below the rows: the current row switches back.
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(50, 300));
        QCOMPARE(number(QStringLiteral("select DescNeed from Descs where DescID = 2")), 0);
        QCOMPARE(number(QStringLiteral("select DescNeed from Descs where DescID = 1")), 1);
    }

    // The field list's menu switches the current field's 只取文字; the option
    // goes with the field when it is deleted.
    void shownTextFromTheMenu()
    {
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
        addDesc(m_w->world.storePath(), 2, 1, QStringLiteral("作者"), true);
        TfrmProcess& w = open();
        toFieldPage(w);
        auto* grid = child<QTableView>(&w, "dbGrid1");
        const auto menu = [&] {
            QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, rowCentre(grid, 1));
            QContextMenuEvent event(QContextMenuEvent::Mouse, rowCentre(grid, 1),
                                    grid->viewport()->mapToGlobal(rowCentre(grid, 1)));
            QApplication::sendEvent(grid->viewport(), &event);
            return w.findChild<QAction*>(QStringLiteral("actShownText"));
        };
        QAction* shown = menu();
        QVERIFY(shown && !shown->isChecked());
        QVERIFY(test::savePicture(qobject_cast<QWidget*>(shown->parent()),
                                  QStringLiteral("fieldmenu")));
        shown->trigger();
        QCOMPARE(number(QStringLiteral("select ShownText from DescOptions where DescID = 2")), 1);
        QVERIFY(menu()->isChecked());
        QTest::mouseClick(child<QToolButton>(&w, "nbDelete"), Qt::LeftButton);
        QCOMPARE(number(QStringLiteral("select count(*) from DescOptions")), 0);
    }

    void refusedWriteKeepsRowPending_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("store") << "nbPost"
                               << "update";
        QTest::newRow("delete") << "nbDelete"
                                << "delete";
        QTest::newRow("move off") << "nbFirst"
                                  << "update";
        QTest::newRow("select all") << "SpeedButton1"
                                    << "update";
    }
    void refusedWriteKeepsRowPending()
    {
        QFETCH(QString, button);
        QFETCH(QString, trigger);
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), false);
        addDesc(m_w->world.storePath(), 2, 1, QStringLiteral("作者"), false);
        test::execOn(m_w->world.storePath(),
                     QStringLiteral("create trigger refuse before %1 on Descs begin "
                                    "select raise(abort, 'refused by the store'); end")
                         .arg(trigger));
        TfrmProcess& w = open();
        toFieldPage(w);
        auto* grid = child<QTableView>(&w, "dbGrid1");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowCentre(grid, 1));
        auto* edit = typeName(w, QStringLiteral("新名"));
        QTest::mouseClick(child<QToolButton>(&w, button.toLatin1().constData()), Qt::LeftButton);
        QCOMPARE(m_w->boxes.count(), 1);
        QCOMPARE(m_w->boxes.last().text, QStringLiteral("refused by the store."));
        QCOMPARE(m_w->boxes.last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(w.fieldPage().aqryDesc().state(), store::DataSet::State::Edit);
        QCOMPARE(w.fieldPage().aqryDesc().currentRow(), 1);
        QCOMPARE(edit->text(), QStringLiteral("新名"));
        QCOMPARE(grid->currentIndex().row(), 1);
        QCOMPARE(navigatorEnabled(w).mid(6), QStringLiteral("11"));
        QCOMPARE(number(QStringLiteral("select count(*) from Descs where DescName = '作者'")), 1);
    }

    void pendingRowAtCloseNotStored_data()
    {
        QTest::addColumn<bool>("newRow");
        QTest::newRow("new row") << true;
        QTest::newRow("changed row") << false;
    }
    void pendingRowAtCloseNotStored()
    {
        QFETCH(bool, newRow);
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
        TfrmProcess& w = open();
        toFieldPage(w);
        if (newRow)
            QTest::mouseClick(child<QToolButton>(&w, "nbInsert"), Qt::LeftButton);
        typeName(w, QStringLiteral("未保存"));
        QTest::mouseClick(child<QPushButton>(&w, "Button4"), Qt::LeftButton);
        QVERIFY(!w.isVisible());
        m_w->close();
        store::Database db;
        db.open(m_w->world.storePath());
        store::Statement st(db.handle(),
                            QStringLiteral("select group_concat(DescName) from Descs"));
        QVERIFY(st.step());
        QCOMPARE(st.columnValue(0).toString(), QStringLiteral("标题"));
    }

    void extractionWritesResultFiles()
    {
        extractionWorld(3);
        m_w->settings.setSeparator(QStringLiteral("|"));
        TfrmProcess& w = open();
        toFieldPage(w);
        child<QCheckBox>(&w, "cbTest")->setChecked(false);
        const QList<QWidget*> controls = runControls(w);
        QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
        QCOMPARE(m_w->boxes.count(), 0);
        QCOMPARE(test::contents(taskFile("Infos.txt")),
                 QByteArray("序号|T|A\r\n1|t1|a\r\n2|t2|a\r\n3|t3|a\r\n"));
        QCOMPARE(test::contents(taskFile("Infos.xls")),
                 QByteArray("序号\tT\tA\r\n1\tt1\ta\r\n2\tt2\ta\r\n3\tt3\ta\r\n"));
        QCOMPARE(w.fieldPage().ResultLines()->size(), 4);
        QVERIFY(w.findChildren<TfrmTest*>().isEmpty());
        // The last page stays on the status line until the program falls idle.
        QCOMPARE(child<QStatusBar>(&w, "StatusBar2")->currentMessage(),
                 QStringLiteral(" 正在处理 - ") + pagesFolder() +
                     QStringLiteral("3.Htm，请稍候..."));
        QCOMPARE(enabling(controls), QStringLiteral("1111111111"));
        QCOMPARE(w.fieldPage().aqryDesc().currentRow(), 2);
        // A second run leaves only its own lines.
        QVERIFY(QFile::remove(pagesFolder() + QStringLiteral("2.Htm")));
        QVERIFY(QFile::remove(pagesFolder() + QStringLiteral("3.Htm")));
        QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
        QCOMPARE(test::contents(taskFile("Infos.txt")), QByteArray("序号|T|A\r\n1|t1|a\r\n"));
        QCOMPARE(test::contents(taskFile("Infos.xls")), QByteArray("序号\tT\tA\r\n1\tt1\ta\r\n"));
        // "打开EXCEL文件" hands the workbook to the shell, the text sheet where
        // there is none.
        QStringList shell;
        ui::setShellHandler(
            [&](const QString& verb, const QString& path) { shell << verb << path; });
        QTest::mouseClick(child<QPushButton>(&w, "Button5"), Qt::LeftButton);
        QVERIFY(QFile::remove(taskFile("Infos.xlsx")));
        QTest::mouseClick(child<QPushButton>(&w, "Button5"), Qt::LeftButton);
        QCOMPARE(shell, QStringList({QStringLiteral("Open"), taskFile("Infos.xlsx"),
                                     QStringLiteral("Open"), taskFile("Infos.xls")}));
    }

    void testRunsOpenResultWindows()
    {
        extractionWorld(20);
        m_w->settings.setTestValue(1);
        TfrmProcess& w = open();
        toFieldPage(w);
        auto* run = child<QPushButton>(&w, "Button3");
        QTest::mouseClick(run, Qt::LeftButton);
        QCOMPARE(w.fieldPage().ResultLines()->size(), 1 + 3);
        // The limit is read afresh after every page.
        QTimer::singleShot(0, &w, [this] { m_w->settings.setTestValue(0); });
        QTest::mouseClick(run, Qt::LeftButton);
        QCOMPARE(w.fieldPage().ResultLines()->size(), 1 + 2);
        const QList<TfrmTest*> results = w.findChildren<TfrmTest*>();
        QCOMPARE(results.size(), 2);
        QVERIFY(results[0]->isVisible() && results[1]->isVisible());
        QVERIFY(!QFile::exists(taskFile("Infos.txt")));
        QVERIFY(!QFile::exists(taskFile("Infos.xls")));
        QCOMPARE(m_w->boxes.count(), 0);
    }

    void testModeClearedDuringRun()
    {
        extractionWorld(15);
        TfrmProcess& w = open();
        toFieldPage(w);
        auto* test = child<QCheckBox>(&w, "cbTest");
        QTimer::singleShot(0, test, [test] { QTest::mouseClick(test, Qt::LeftButton); });
        QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
        QVERIFY(!test->isChecked());
        QCOMPARE(w.fieldPage().ResultLines()->size(), 1 + 15);
        QVERIFY(w.findChildren<TfrmTest*>().isEmpty());
        QVERIFY(test::contents(taskFile("Infos.txt")).endsWith("15*t15*a\r\n"));
    }

    void runsDoNotOverlap()
    {
        extractionWorld(3);
        TfrmProcess& w = open();
        toFieldPage(w);
        const QList<QWidget*> controls = runControls(w);
        QStringList seen;
        QTimer::singleShot(0, &w, [&] { seen << enabling(controls); });
        QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
        // During a harvesting run only "进行提取" of these goes off besides the
        // other harvesting button.
        connectSaveRun(w, [&] { seen << enabling(controls); });
        QTest::mouseClick(child<QPushButton>(&w, "btnSaveHtml"), Qt::LeftButton);
        seen << enabling(controls);
        QCOMPARE(seen, QStringList({QStringLiteral("0000000000"), QStringLiteral("0011111111"),
                                    QStringLiteral("1111111111")}));
    }

    void failedRunsGiveEverythingBack_data()
    {
        QTest::addColumn<QString>("blocked"); // made a folder
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("txtWritten");
        QTest::newRow("unreadable page") << "HTML/2.Htm"
                                         << "Cannot open file \"@HTML/2.Htm\". " << false;
        QTest::newRow("Infos.txt refused") << "Infos.txt"
                                           << "Cannot create file \"@Infos.txt\". " << false;
        QTest::newRow("Infos.xls refused") << "Infos.xls"
                                           << "Cannot create file \"@Infos.xls\". " << true;
    }
    void failedRunsGiveEverythingBack()
    {
        QFETCH(QString, blocked);
        QFETCH(QString, message);
        QFETCH(bool, txtWritten);
        extractionWorld(3);
        const QString task = m_w->taskFolder() + QLatin1Char('/');
        if (blocked.startsWith(QLatin1String("HTML/"))) {
            QVERIFY(QFile::remove(task + blocked));
            QVERIFY(QFile::link(task + QStringLiteral("gone"), task + blocked));
        } else {
            QVERIFY(QDir(task).mkdir(blocked));
        }
        TfrmProcess& w = open();
        toFieldPage(w);
        child<QCheckBox>(&w, "cbTest")->setChecked(blocked.startsWith(QLatin1String("HTML/")));
        const QList<QWidget*> controls = runControls(w);
        QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
        QCOMPARE(m_w->boxes.count(), 1);
        QVERIFY2(m_w->boxes.last().text.startsWith(message.replace(QLatin1Char('@'), task)),
                 qPrintable(m_w->boxes.last().text));
        QCOMPARE(m_w->boxes.last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(QFileInfo(task + QStringLiteral("Infos.txt")).isFile(), txtWritten);
        QVERIFY(!QFileInfo(task + QStringLiteral("Infos.xls")).isFile());
        QVERIFY(w.findChildren<TfrmTest*>().isEmpty());
        QCOMPARE(enabling(controls), QStringLiteral("1111111111"));
    }

    // Pictures of the windows, made by make docs only.
    void lookAtTheRun()
    {
        if (test::pictureFolder().isEmpty())
            QSKIP("makes pictures only: PAGRIM_DOCS names their folder");
        extractionWorld(40);
        TfrmProcess& w = open();
        toFieldPage(w);
        child<QCheckBox>(&w, "cbTest")->setChecked(false);
        // The picture is taken as the run shows its first page.
        bool grabbed = false;
        connect(child<QStatusBar>(&w, "StatusBar2"), &QStatusBar::messageChanged, &w, [&] {
            if (!std::exchange(grabbed, true))
                QVERIFY(test::savePicture(&w, QStringLiteral("process-extracting")));
        });
        QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
        child<QCheckBox>(&w, "cbTest")->setChecked(true);
        m_w->settings.setTestValue(3);
        QTest::mouseClick(child<QPushButton>(&w, "Button3"), Qt::LeftButton);
        TfrmTest* results = w.findChildren<TfrmTest*>().value(0);
        QVERIFY(results && QTest::qWaitForWindowExposed(results));
        QVERIFY(test::savePicture(results, QStringLiteral("test-results")));
    }

    void gridWidthsKept()
    {
        {
            TfrmProcess& w = open();
            auto* grid = child<QTableView>(&w, "dbGrid1");
            QCOMPARE(grid->columnWidth(0), 100);
            QCOMPARE(grid->columnWidth(1), 100);
            grid->setColumnWidth(1, 150);
            m_w->close();
        }
        QCOMPARE(m_w->settings.ReadInteger(QStringLiteral("frmProcess-dbGrid1"),
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
        QVERIFY(QFile::remove(m_w->settings.path()));
        QVERIFY(QDir().mkpath(m_w->settings.path()));
        w.close();
        QVERIFY(!w.isVisible());
        QCOMPARE(m_w->boxes.count(), 1);
        QVERIFY(m_w->boxes.last().text.startsWith(QStringLiteral("Unable to write to")));
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
        if (test::pictureFolder().isEmpty())
            QSKIP("makes pictures only: PAGRIM_DOCS names their folder");
        addDesc(m_w->world.storePath(), 1, 1, QStringLiteral("标题"), true);
        addDesc(m_w->world.storePath(), 3, 1, QStringLiteral("作者"), false);
        test::execOn(
            m_w->world.storePath(),
            QStringLiteral("update Descs set DescStart = ?, DescEnd = ? where DescID = 1"),
            {QStringLiteral("<h1 class=\"title\">\r\n<span>"), QStringLiteral("</span></h1>")});
        writePageList(
            m_w->taskFolder(),
            "http://127.0.0.1/1.htm\r\nhttp://127.0.0.1/2.htm\r\nhttp://127.0.0.1/3.htm\r\n"
            "2 pages\r\n");
        TfrmProcess& w = open();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(test::savePicture(&w, QStringLiteral("process1")));
        // Three fields, one not selected, the current one pending with a typed name.
        toFieldPage(w);
        QTest::mouseClick(child<QToolButton>(&w, "nbInsert"), Qt::LeftButton);
        QTest::mouseClick(child<QToolButton>(&w, "nbPost"), Qt::LeftButton);
        auto* grid = child<QTableView>(&w, "dbGrid1");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowCentre(grid, 0));
        auto* edit = child<QLineEdit>(&w, "DBEdit1");
        edit->setFocus();
        edit->end(false);
        commitText(edit, QStringLiteral("（正文）"));
        QCOMPARE(w.fieldPage().aqryDesc().state(), store::DataSet::State::Edit);
        QVERIFY(test::waitForIdle());
        QVERIFY(test::savePicture(&w, QStringLiteral("process2")));
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
