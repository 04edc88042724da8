// The main window driven as a user drives it: task actions, their messages and
// the store they leave behind.
#include "app/ufrmMain.h"
#include "store/dataset.h"
#include "store/schema.h"
#include "store/sqlite.h"
#include "support/testsupport.h"
#include "ui/shell.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace pagrim;

namespace {

using test::addTask;
using test::child;
using test::rowCount;
using test::rowsOf;

void clickButton(QWidget* w, const char* name)
{
    QTest::mouseClick(child<QAbstractButton>(w, name), Qt::LeftButton);
}

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<test::MessageRecorder> boxes;
    std::unique_ptr<TfrmMain> frm;

    TfrmMain& open()
    {
        frm = std::make_unique<TfrmMain>(world->settingsPath());
        if (!frm->FormCreate())
            qFatal("the store did not open");
        frm->show();
        return *frm;
    }

private Q_SLOTS:
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        boxes = std::make_unique<test::MessageRecorder>();
    }
    void cleanup()
    {
        test::cancelModalWatches();
        if (frm)
            frm->hide();
        frm.reset();
        boxes.reset();
        world.reset();
        ui::setStartProgramHandler({});
    }

    void connectionError_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("engineMessage");
        QTest::newRow("missing") << "missing"
                                 << "unable to open database file";
        QTest::newRow("not a database") << "garbage"
                                        << "file is not a database";
    }
    void connectionError()
    {
        QFETCH(QString, setup);
        QFETCH(QString, engineMessage);
        QFile::remove(world->storePath());
        if (setup == QLatin1String("garbage")) {
            QFile f(world->storePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        TfrmMain main(world->settingsPath());
        const bool opened = main.FormCreate();
        QVERIFY(!opened);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().caption, QStringLiteral("错误信息"));
        QCOMPARE(boxes->last().text, QStringLiteral("数据库连接错误：\r") + engineMessage);
        QCOMPARE(boxes->last().icon, ui::Icon::Error);
        QCOMPARE(boxes->last().buttons, ui::Buttons::Ok);
        QVERIFY(!main.isVisible());
    }

    void storeWithoutTablesOpensEmpty()
    {
        {
            store::Database db;
            db.open(world->storePath());
            db.exec(QStringLiteral("drop table Tasks"));
        }
        TfrmMain main(world->settingsPath());
        QVERIFY(main.FormCreate());
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(boxes->last().text, QStringLiteral("no such table: tasks."));
        QCOMPARE(boxes->last().icon, ui::Icon::Error);
        QVERIFY(!main.aqryTask().isActive());
    }

    void windowLayout()
    {
        TfrmMain& main = open();
        QCOMPARE(main.windowTitle(), QStringLiteral("Pagrim"));
        auto* grid = child<QTableView>(&main, "DBGrid1");
        QCOMPARE(grid->model()->columnCount(), 4);
        const QStringList titles{QStringLiteral("序号"), QStringLiteral("任务名称"),
                                 QStringLiteral("任务描述"), QStringLiteral("建立时间")};
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(grid->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
            QCOMPARE(grid->columnWidth(c), 100);
        }
        const QStringList captions{
            QStringLiteral("执行任务"), QStringLiteral("新建任务"), QStringLiteral("复制任务"),
            QStringLiteral("修改任务"), QStringLiteral("删除任务"), QStringLiteral("默认选项"),
            QStringLiteral("关于我们"), QStringLiteral("帮助文件"), QStringLiteral("退出系统")};
        const char* names[] = {"SpeedButton6", "SpeedButton2", "SpeedButton7",
                               "SpeedButton3", "SpeedButton5", "SpeedButton4",
                               "spSys",        "SpeedButton1", "SpeedButton8"};
        for (int i = 0; i < 9; ++i)
            QCOMPARE(child<QToolButton>(&main, names[i])->text(), captions[i]);
        auto* menu = child<QMenu>(&main, "PopupMenu1");
        QStringList items;
        for (QAction* a : menu->actions())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(items, (QStringList{QStringLiteral("修改任务"), QStringLiteral("新建任务"),
                                     QStringLiteral("删除任务"), QStringLiteral("-"),
                                     QStringLiteral("复制任务"), QStringLiteral("-"),
                                     QStringLiteral("执行任务")}));
        QCOMPARE(menu->defaultAction()->text(), QStringLiteral("修改任务"));
        QCOMPARE(child<QAction>(&main, "actSysConfig")->text(), QStringLiteral("系统选项"));
    }

    void emptyListActionsDoNothing()
    {
        TfrmMain& main = open();
        bool opened = false;
        test::onNextModal(
            "QDialog",
            [&](QWidget* w) {
                opened = true;
                w->close();
            },
            3000);
        for (const char* b : {"SpeedButton3", "SpeedButton7", "SpeedButton5", "SpeedButton6"}) {
            clickButton(&main, b);
            QVERIFY(!QApplication::activeModalWidget());
        }
        auto* grid = child<QTableView>(&main, "DBGrid1");
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton);
        QVERIFY(!opened);
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(rowCount(world->storePath(), QStringLiteral("Tasks")), 0);
    }

    void numberColumnCountsRows()
    {
        for (int id : {3, 7, 8})
            addTask(world->storePath(), id, QStringLiteral("任务%1").arg(id));
        TfrmMain& main = open();
        auto* grid = child<QTableView>(&main, "DBGrid1");
        QCOMPARE(grid->model()->rowCount(), 3);
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(grid->model()->index(r, 0).data().toString(), QString::number(r + 1));
            QCOMPARE(grid->model()->index(r, 0).data(Qt::TextAlignmentRole).toInt(),
                     int(Qt::AlignCenter));
        }
        QCOMPARE(grid->model()->index(1, 1).data().toString(), QStringLiteral("任务7"));
        QCOMPARE(grid->model()->index(2, 3).data().toString(),
                 QStringLiteral("2020-01-02 03:04:05"));
    }

    void newTaskGetsDefaults()
    {
        TfrmMain& main = open();
        QString caption;
        auto ran = test::onNextModal("TfrmEdtTask", [&](QWidget* dlg) {
            caption = dlg->windowTitle();
            QTest::keyClicks(child<QLineEdit>(dlg, "DBEdit4"), QStringLiteral("http://a/*"));
            clickButton(dlg, "btnOK");
        });
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        clickButton(&main, "SpeedButton2");
        QVERIFY(*ran);
        QCOMPARE(caption, QStringLiteral("详细信息 - 新建任务"));
        const auto r = rowsOf(world->storePath(),
                              QStringLiteral("select TaskID, TaskName, WebType, ResStart, ResEnd, "
                                             "ResCurrent, SaveCurrent, TaskDate, ResAddr, TaskDesc "
                                             "from Tasks"));
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0][0].toInt(), 1);
        QCOMPARE(r[0][1].toString(), QStringLiteral("新建任务1"));
        QCOMPARE(r[0][2].toInt(), 1);
        for (int c = 3; c <= 6; ++c)
            QCOMPARE(r[0][c].toInt(), 0);
        const QDateTime stamp =
            QDateTime::fromString(r[0][7].toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime());
        QCOMPARE(r[0][8].toString(), QStringLiteral("http://a/*"));
        QVERIFY(r[0][9].isNull());
        QCOMPARE(main.aqryTask().state(), store::DataSet::State::Browse);
    }

    void cancelledNewTaskLeavesNoTrace()
    {
        addTask(world->storePath(), 1, QStringLiteral("a"));
        TfrmMain& main = open();
        int shownKey = 0;
        auto ran = test::onNextModal("TfrmEdtTask", [&](QWidget* dlg) {
            shownKey = frm->aqryTask().field(QStringLiteral("TaskID")).asInteger();
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        clickButton(&main, "SpeedButton2");
        QVERIFY(*ran);
        QCOMPARE(shownKey, 2);
        QCOMPARE(rowCount(world->storePath(), QStringLiteral("Tasks")), 1);
        QCOMPARE(main.aqryTask().recordCount(), 1);
        QCOMPARE(
            store::allocateKey(main.adoConn(), QStringLiteral("select max(TaskID) from Tasks ")),
            2);
    }

    void copyTakesEverythingButKeyAndName()
    {
        addTask(world->storePath(), 5, QStringLiteral("源任务"),
                {{QStringLiteral("LoginAddr"), QStringLiteral("http://l/")},
                 {QStringLiteral("ResCurrent"), 120},
                 {QStringLiteral("SaveCurrent"), 45}});
        test::execOn(world->storePath(),
                     QStringLiteral("insert into TaskOptions (TaskID, PageEngine, ContentWait, "
                                    "LoggedOutText) values (5, ?, 2500, ?)"),
                     {QStringLiteral("direct"), QStringLiteral("请先登录")});
        TfrmMain& main = open();
        QString caption, shownName, shownLoggedOut;
        int shownEngine = -1;
        int shownWait = -1;
        auto ran = test::onNextModal("TfrmEdtTask", [&](QWidget* dlg) {
            caption = dlg->windowTitle();
            shownName = child<QLineEdit>(dlg, "DBEdit13")->text();
            shownEngine = child<QComboBox>(dlg, "cbPageEngine")->currentIndex();
            shownWait = child<QSpinBox>(dlg, "seContentWait")->value();
            shownLoggedOut = child<QLineEdit>(dlg, "edtLoggedOutText")->text();
            clickButton(dlg, "btnCancel");
        });
        clickButton(&main, "SpeedButton7");
        QVERIFY(*ran);
        QCOMPARE(caption, QStringLiteral("详细信息 - 修改任务"));
        QCOMPARE(shownName, QStringLiteral("新建任务6"));
        QCOMPARE(shownEngine, 1); // the source's options
        QCOMPARE(shownWait, 2500);
        QCOMPARE(shownLoggedOut, QStringLiteral("请先登录"));
        QCOMPARE(rowCount(world->storePath(), QStringLiteral("Tasks")), 1);

        ran = test::onNextModal("TfrmEdtTask", [&](QWidget* dlg) { clickButton(dlg, "btnOK"); });
        clickButton(&main, "SpeedButton7");
        QVERIFY(*ran);
        const QString cols = QStringLiteral("TaskName, TaskDate, LoginAddr, ResStart, ResEnd, "
                                            "ResCurrent, SaveCurrent, WebType, ResAddr");
        const auto copy = rowsOf(world->storePath(),
                                 QStringLiteral("select %1 from Tasks where TaskID = 6").arg(cols));
        const auto source = rowsOf(
            world->storePath(), QStringLiteral("select %1 from Tasks where TaskID = 5").arg(cols));
        QCOMPARE(copy.size(), 1);
        QCOMPARE(copy[0][0].toString(), QStringLiteral("新建任务6"));
        QCOMPARE(copy[0].mid(1), source[0].mid(1));
        QCOMPARE(copy[0][5].toInt(), 120);
        QCOMPARE(copy[0][6].toInt(), 45);
        QCOMPARE(rowsOf(world->storePath(),
                        QStringLiteral("select PageEngine, ContentWait from TaskOptions "
                                       "where TaskID = 6")),
                 (QList<QVariantList>{{QStringLiteral("direct"), qint64(2500)}}));
    }

    void unwritableSettingsStillClose()
    {
        const QString ini = world->settingsPath();
        TfrmMain& main = open();
        // A folder where the settings file should be: no write can succeed.
        QVERIFY(QDir().mkpath(ini));
        main.close();
        QDir(ini).removeRecursively();
        QVERIFY(!main.isVisible());
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("Unable to write to %1.").arg(ini));
        QCOMPARE(boxes->last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(boxes->last().icon, ui::Icon::Error);
    }

    void deleteAsksThenRemovesTaskAndItsFields()
    {
        for (int id : {1, 2, 3})
            addTask(world->storePath(), id, QStringLiteral("任务%1").arg(id));
        {
            store::Database db;
            db.open(world->storePath());
            db.exec(QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed) values "
                                   "(1, 3, 'f', 1), (2, 2, 'g', 1)"));
        }
        TfrmMain& main = open();
        main.aqryTask().last();
        boxes->answerNext(ui::Answer::No);
        clickButton(&main, "SpeedButton5");
        QCOMPARE(boxes->count(), 1);
        const ui::MessageRecord q = boxes->last();
        QCOMPARE(q.text, QStringLiteral("确定删除【任务3】吗？        "));
        QCOMPARE(q.caption, QStringLiteral("提示"));
        QCOMPARE(q.icon, ui::Icon::Question);
        QCOMPARE(q.buttons, ui::Buttons::YesNo);
        QCOMPARE(q.defaultButton, ui::Answer::Yes);
        QCOMPARE(rowCount(world->storePath(), QStringLiteral("Tasks")), 3);

        boxes->answerNext(ui::Answer::Yes);
        clickButton(&main, "SpeedButton5");
        QCOMPARE(rowCount(world->storePath(), QStringLiteral("Tasks")), 2);
        QCOMPARE(main.aqryTask().recordCount(), 2);
        // The fields of the deleted task went with it; another task's stay.
        QCOMPARE(rowsOf(world->storePath(), QStringLiteral("select TaskID from Descs")),
                 (QList<QVariantList>{{QVariant(qint64(2))}}));

        // The freed key is given again, and the new task has no inherited fields.
        auto ran = test::onNextModal("TfrmEdtTask", [&](QWidget* dlg) {
            QTest::keyClicks(child<QLineEdit>(dlg, "DBEdit4"), QStringLiteral("http://a/*"));
            clickButton(dlg, "btnOK");
        });
        clickButton(&main, "SpeedButton2");
        QVERIFY(*ran);
        QCOMPARE(rowsOf(world->storePath(), QStringLiteral("select max(TaskID) from Tasks"))[0][0]
                     .toInt(),
                 3);
    }

    void deleteFailureKeepsTaskAndFields()
    {
        addTask(world->storePath(), 1, QStringLiteral("任务1"));
        {
            store::Database db;
            db.open(world->storePath());
            db.exec(QStringLiteral("insert into Descs (DescID, TaskID) values (1, 1);"
                                   "create trigger refuse before delete on Tasks begin "
                                   "select raise(abort, 'refused'); end;"));
        }
        TfrmMain& main = open();
        boxes->answerNext(ui::Answer::Yes);
        clickButton(&main, "SpeedButton5");
        QCOMPARE(boxes->count(), 2);
        QCOMPARE(boxes->last().caption, QStringLiteral("Pagrim"));
        QCOMPARE(boxes->last().text, QStringLiteral("refused."));
        QCOMPARE(rowCount(world->storePath(), QStringLiteral("Tasks")), 1);
        QCOMPARE(rowCount(world->storePath(), QStringLiteral("Descs")), 1);
        QCOMPARE(main.aqryTask().recordCount(), 1);
    }

    void blankLoginAddressOpensLoginFirst()
    {
        addTask(world->storePath(), 1, QStringLiteral("登录任务"),
                {{QStringLiteral("LoginAddr"), QStringLiteral("   ")}});
        TfrmMain& main = open();
        QStringList seen;
        auto ran = test::onNextModal("TfrmLogin", [&](QWidget* login) {
            seen << login->windowTitle();
            test::onNextModal("TfrmProcess", [&](QWidget* process) {
                seen << process->windowTitle();
                process->close();
            });
            login->close();
        });
        // The double click alone starts the task: no button stands in for it.
        QTest::mouseDClick(child<QTableView>(&main, "DBGrid1")->viewport(), Qt::LeftButton, {},
                           QPoint(30, 8));
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 2, 20000);
        QVERIFY(*ran);
        QCOMPARE(seen[0],
                 QStringLiteral("如果网站需要登录才能浏览，请先在本窗口中登录后再抓取网页。"));
        QCOMPARE(seen[1], QStringLiteral("执行任务 - 登录任务"));
    }

    void helpProgram()
    {
        TfrmMain& main = open();
        QStringList started;
        ui::setStartProgramHandler([&](const QString& p) {
            started << p;
            return true;
        });
        clickButton(&main, "SpeedButton1");
        QCOMPARE(started.size(), 0);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("找不到帮助文件    "));
        QCOMPARE(boxes->last().caption, QStringLiteral("提示"));
        QCOMPARE(boxes->last().icon, ui::Icon::Information);

        QFile help(world->file(QStringLiteral("Help.Exe")));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.close();
        clickButton(&main, "SpeedButton1");
        QCOMPARE(started, QStringList{world->file(QStringLiteral("Help.Exe"))});
        QCOMPARE(boxes->count(), 1);
    }

    void closing()
    {
        TfrmMain& main = open();
        boxes->answerNext(ui::Answer::No);
        clickButton(&main, "SpeedButton8");
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("确认要退出吗？"));
        QCOMPARE(boxes->last().caption, QStringLiteral("确认"));
        QCOMPARE(boxes->last().icon, ui::Icon::Question);
        QCOMPARE(boxes->last().buttons, ui::Buttons::YesNo);
        QCOMPARE(boxes->last().defaultButton, ui::Answer::No);
        QVERIFY(main.isVisible());
        boxes->answerNext(ui::Answer::Yes);
        clickButton(&main, "SpeedButton8");
        QVERIFY(!main.isVisible());

        // The close box asks nothing.
        TfrmMain& again = open();
        again.close();
        QVERIFY(!again.isVisible());
        QCOMPARE(boxes->count(), 2);
    }

    void columnWidthsComeBack()
    {
        const QString ini = world->settingsPath();
        {
            TfrmMain& main = open();
            child<QTableView>(&main, "DBGrid1")->setColumnWidth(1, 230);
            main.close();
        }
        QFile f(ini);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY2(text.contains("[frmMain-DBGrid1]"), text.constData());
        QVERIFY2(text.contains("TaskName=230"), text.constData());
        f.close();
        TfrmMain& main = open();
        QCOMPARE(child<QTableView>(&main, "DBGrid1")->columnWidth(1), 230);
        QCOMPARE(child<QTableView>(&main, "DBGrid1")->columnWidth(0), 100);
    }

    // Pictures of the windows, made by make docs only.
    void grabWindows()
    {
        if (test::pictureFolder().isEmpty())
            QSKIP("makes pictures only: PAGRIM_DOCS names their folder");
        addTask(world->storePath(), 1, QStringLiteral("新闻列表采集"));
        addTask(world->storePath(), 2, QStringLiteral("产品信息"),
                {{QStringLiteral("LoginAddr"), QStringLiteral("http://127.0.0.1/")}});
        addTask(world->storePath(), 3, QStringLiteral("招聘信息"));
        TfrmMain& main = open();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QVERIFY(test::savePicture(&main, QStringLiteral("main")));
        auto* menu = child<QMenu>(&main, "PopupMenu1");
        menu->popup(main.mapToGlobal(QPoint(100, 120)));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY(test::savePicture(menu, QStringLiteral("menu")));
        menu->hide();
        bool saved = false;
        auto ran = test::onNextModal("TfrmEdtTask", [&](QWidget* dlg) {
            saved = test::savePicture(dlg, QStringLiteral("editor-ordinal"));
            QTest::mouseClick(child<QAbstractButton>(dlg, "rbNotOrdLst"), Qt::LeftButton);
            saved = saved && test::savePicture(dlg, QStringLiteral("editor-list"));
            child<QTabWidget>(dlg, "PageControl1")->setCurrentIndex(1);
            child<QComboBox>(dlg, "cbPageEngine")->setCurrentIndex(1);
            child<QLineEdit>(dlg, "edtLoggedOutText")->setText(QStringLiteral("请先登录后浏览"));
            saved = saved && test::savePicture(dlg, QStringLiteral("editor-options"));
            clickButton(dlg, "btnCancel");
        });
        clickButton(&main, "SpeedButton3");
        QVERIFY(*ran);
        QVERIFY(saved);
        ran = test::onNextModal("TfrmLogin", [&](QWidget* login) {
            saved = test::savePicture(login, QStringLiteral("login"));
            login->close();
        });
        main.aqryTask().moveTo(1);
        test::onNextModal("TfrmProcess", [&](QWidget* process) { process->close(); });
        clickButton(&main, "SpeedButton6");
        QVERIFY(*ran);
        QVERIFY(saved);
    }

    void optionsDialogFromToolbar()
    {
        TfrmMain& main = open();
        QString caption;
        auto ran = test::onNextModal("TfrmSysConfig", [&](QWidget* dlg) {
            caption = dlg->windowTitle();
            clickButton(dlg, "btnCancel");
        });
        clickButton(&main, "SpeedButton4");
        QVERIFY(*ran);
        QCOMPARE(caption, QStringLiteral("默认选项 "));
        QVERIFY(!QFile::exists(world->settingsPath()));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TstMainWindow t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_mainwindow.moc"
