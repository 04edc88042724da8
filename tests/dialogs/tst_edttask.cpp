// The task editor on a real task query: validation, page kinds, the task's
// options, save and cancel.
#include "dialogs/ufrmEdtTask.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

using namespace pagrim;

namespace {
using test::child;

// Types into a box as the user does: focus, select all, new text.
void typeInto(QWidget* dlg, const char* name, const QString& text)
{
    auto* box = child<QLineEdit>(dlg, name);
    box->setFocus();
    box->selectAll();
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Delete);
    else
        QTest::keyClicks(box, text);
}

// Picks the direct page engine on the options page, as the user does.
void pickDirectEngine(QWidget* dlg)
{
    child<QTabWidget>(dlg, "PageControl1")->setCurrentIndex(1);
    QTest::keyClick(child<QComboBox>(dlg, "cbPageEngine"), Qt::Key_Down);
}

// Types Chinese text into a box as an input method hands it over.
void commitInto(QWidget* dlg, const char* name, const QString& text)
{
    auto* box = child<QLineEdit>(dlg, name);
    box->setFocus();
    box->selectAll();
    test::commitText(box, text);
}
} // namespace

class TstEdtTask : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<test::MessageRecorder> boxes;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<store::DataSet> tasks;
    std::unique_ptr<TfrmEdtTask> dlg;

    // An editor on task 1 (webType false: a list page task), put into editing.
    TfrmEdtTask& editTask(bool webType)
    {
        test::addTask(world->storePath(), 1, QStringLiteral("T"),
                      {{QStringLiteral("WebType"), webType ? 1 : 0},
                       {QStringLiteral("ResLstAddr"), QStringLiteral("http://list/")},
                       {QStringLiteral("ResAddr"), QStringLiteral("http://c/*")},
                       {QStringLiteral("NextPageAddr"), QStringLiteral("http://list/*")},
                       {QStringLiteral("TaskDate"), QVariant()},
                       {QStringLiteral("ResEnd"), 9},
                       {QStringLiteral("ResCurrent"), 3},
                       {QStringLiteral("SaveCurrent"), 2}});
        tasks->open();
        tasks->edit();
        return show();
    }
    // An editor on a new row that opens as an ordinal page task.
    TfrmEdtTask& newTask()
    {
        tasks->open();
        tasks->append();
        tasks->field(QStringLiteral("TaskID")).setValue(1);
        tasks->field(QStringLiteral("WebType")).setValue(true);
        return show();
    }
    TfrmEdtTask& show()
    {
        dlg = std::make_unique<TfrmEdtTask>(*tasks);
        dlg->show();
        dlg->activateWindow();
        (void)QTest::qWaitForWindowActive(dlg.get(), 5000);
        return *dlg;
    }
    QVariantList stored(const QString& cols)
    {
        return test::rowsOf(world->storePath(), QStringLiteral("select %1 from Tasks").arg(cols))
            .value(0);
    }

private Q_SLOTS:
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        boxes = std::make_unique<test::MessageRecorder>();
        conn = std::make_unique<store::Connection>();
        conn->open();
        tasks = std::make_unique<store::DataSet>(*conn);
        tasks->setCommandText(QStringLiteral("select * from tasks order by TaskID"));
    }
    void cleanup()
    {
        dlg.reset();
        tasks.reset();
        conn.reset();
        boxes.reset();
        world.reset();
    }

    void validation_data()
    {
        QTest::addColumn<bool>("ordinal");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("listAddress");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("name of blanks") << true << "   "
                                        << ""
                                        << "http://c/*"
                                        << "请输入任务名称。    "
                                        << "DBEdit13";
        QTest::newRow("ordinal without address") << true << "T"
                                                 << ""
                                                 << " "
                                                 << "请输入提取地址。    "
                                                 << "DBEdit4";
        QTest::newRow("list without list address") << false << "T"
                                                   << ""
                                                   << "http://c/*"
                                                   << "请输入列表地址。    "
                                                   << "DBEdit1";
        QTest::newRow("list without address") << false << "T"
                                              << "http://l/"
                                              << ""
                                              << "请输入提取地址。    "
                                              << "DBEdit7";
    }
    void validation()
    {
        QFETCH(bool, ordinal);
        QFETCH(QString, name);
        QFETCH(QString, listAddress);
        QFETCH(QString, address);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        TfrmEdtTask& d = editTask(ordinal);
        typeInto(&d, "DBEdit13", name);
        if (!ordinal)
            typeInto(&d, "DBEdit1", listAddress);
        typeInto(&d, ordinal ? "DBEdit4" : "DBEdit7", address);
        QTest::mouseClick(child<QPushButton>(&d, "btnOK"), Qt::LeftButton);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, message);
        QCOMPARE(boxes->last().caption, QStringLiteral("提示信息"));
        QCOMPARE(boxes->last().icon, ui::Icon::Information);
        QCOMPARE(boxes->last().owner, &d);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(d.isVisible());
        QVERIFY(tasks->isEditing());
        QCOMPARE(stored(QStringLiteral("TaskName")).value(0).toString(), QStringLiteral("T"));
    }

    void pageKindFollowsRow()
    {
        TfrmEdtTask& d = editTask(false);
        QVERIFY(child<QRadioButton>(&d, "rbNotOrdLst")->isChecked());
        QVERIFY(child<QWidget>(&d, "pnlNotOrdLst")->isVisible());
        QVERIFY(!child<QWidget>(&d, "pnlOrdLst")->isVisible());
        QCOMPARE(child<QLineEdit>(&d, "DBEdit9")->text(), QStringLiteral("1"));
        QCOMPARE(child<QLineEdit>(&d, "DBEdit6")->text(), QStringLiteral("1"));
    }

    void switchingKindKeepsListColumns()
    {
        TfrmEdtTask& d = editTask(false);
        QTest::mouseClick(child<QRadioButton>(&d, "rbOrdLst"), Qt::LeftButton);
        QVERIFY(child<QWidget>(&d, "pnlOrdLst")->isVisible());
        QVERIFY(!child<QWidget>(&d, "pnlNotOrdLst")->isVisible());
        // A value typed in one panel is the value the other panel shows.
        typeInto(&d, "DBEdit6", QStringLiteral("7"));
        QTest::mouseClick(child<QPushButton>(&d, "btnOK"), Qt::LeftButton);
        QCOMPARE(boxes->count(), 0);
        QVERIFY(!d.isVisible());
        QCOMPARE(stored(QStringLiteral("WebType, ResLstAddr, NextPageAddr, ResStart")),
                 (QVariantList{qint64(1), QStringLiteral("http://list/"),
                               QStringLiteral("http://list/*"), qint64(7)}));
        QCOMPARE(child<QLineEdit>(&d, "DBEdit9")->text(), QStringLiteral("7"));
    }

    void cancelRestoresStoredValues()
    {
        TfrmEdtTask& d = editTask(false);
        typeInto(&d, "DBEdit13", QStringLiteral("changed"));
        QTest::mouseClick(child<QRadioButton>(&d, "rbOrdLst"), Qt::LeftButton);
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
        QVERIFY(!tasks->isEditing());
        QCOMPARE(tasks->field(QStringLiteral("TaskName")).asString(), QStringLiteral("T"));
        QCOMPARE(tasks->field(QStringLiteral("WebType")).asBoolean(), false);
        QCOMPARE(stored(QStringLiteral("TaskName, WebType")),
                 (QVariantList{QStringLiteral("T"), qint64(0)}));
    }

    void pageEngineSavedWithTheTask()
    {
        const QString engines = QStringLiteral("select TaskID, PageEngine from TaskOptions");
        TfrmEdtTask& d = editTask(true);
        pickDirectEngine(&d);
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(test::rowsOf(world->storePath(), engines).isEmpty());

        tasks->edit();
        TfrmEdtTask& again = show();
        pickDirectEngine(&again);
        QTest::mouseClick(child<QPushButton>(&again, "btnOK"), Qt::LeftButton);
        QCOMPARE(test::rowsOf(world->storePath(), engines),
                 (QList<QVariantList>{{qint64(1), QStringLiteral("direct")}}));

        tasks->edit();
        QCOMPARE(child<QComboBox>(&show(), "cbPageEngine")->currentText(),
                 QStringLiteral("直接下载（不运行脚本）"));
    }

    void memoStoresLinesWithCrLf()
    {
        TfrmEdtTask& d = editTask(true);
        auto* memo = child<QPlainTextEdit>(&d, "DBMemo1");
        memo->setFocus();
        QTest::keyClicks(memo, QStringLiteral("one"));
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("two"));
        QVERIFY(d.isVisible()); // Enter in the memo is a new line, not OK
        QTest::mouseClick(child<QPushButton>(&d, "btnOK"), Qt::LeftButton);
        QCOMPARE(stored(QStringLiteral("TaskDesc")).value(0).toString(),
                 QStringLiteral("one\r\ntwo"));
    }

    void longTextsAndFailedSave()
    {
        TfrmEdtTask& d = editTask(true);
        // The single-line boxes take the column's 255 characters and no more.
        const QString full(255, QLatin1Char('n'));
        child<QLineEdit>(&d, "DBEdit13")->setFocus();
        child<QLineEdit>(&d, "DBEdit13")->selectAll();
        QTest::keyClicks(child<QLineEdit>(&d, "DBEdit13"), full + QStringLiteral("xyz"));
        QCOMPARE(child<QLineEdit>(&d, "DBEdit13")->text(), full);
        // The description has no limit of its own; the store refuses 256.
        auto* memo = child<QPlainTextEdit>(&d, "DBMemo1");
        memo->setFocus();
        QTest::keyClicks(memo, QString(256, QLatin1Char('d')));
        QTest::mouseClick(child<QPushButton>(&d, "btnOK"), Qt::LeftButton);
        QCOMPARE(boxes->count(), 1);
        QVERIFY2(boxes->last().text.startsWith(QStringLiteral("保存数据出错，错误信息如下：\r\r")),
                 qPrintable(boxes->last().text));
        QVERIFY2(boxes->last().text.contains(QStringLiteral("TaskDesc")),
                 qPrintable(boxes->last().text));
        QCOMPARE(boxes->last().caption, QStringLiteral("错误信息"));
        QCOMPARE(boxes->last().icon, ui::Icon::Error);
        // Nothing typed is lost: the dialog stays open on the pending row.
        QVERIFY(d.isVisible());
        QVERIFY(tasks->isEditing());
        QCOMPARE(tasks->field(QStringLiteral("TaskName")).asString(), full);
        QCOMPARE(stored(QStringLiteral("TaskName")).value(0).toString(), QStringLiteral("T"));
        // Corrected, the same OK saves it.
        memo->selectAll();
        QTest::keyClicks(memo, QStringLiteral("short"));
        QTest::mouseClick(child<QPushButton>(&d, "btnOK"), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(stored(QStringLiteral("TaskName, TaskDesc")),
                 (QVariantList{full, QStringLiteral("short")}));
    }

    void refusedWriteKeepsDialogAndValues()
    {
        TfrmEdtTask& d = editTask(true);
        conn->database().exec(QStringLiteral("create temp trigger refuse before update on Tasks "
                                             "begin select raise(abort, 'the store is read-only'); "
                                             "end"));
        typeInto(&d, "DBEdit13", QStringLiteral("renamed"));
        QTest::mouseClick(child<QPushButton>(&d, "btnOK"), Qt::LeftButton);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text,
                 QStringLiteral("保存数据出错，错误信息如下：\r\rthe store is read-only"));
        QVERIFY(d.isVisible());
        QVERIFY(tasks->isEditing());
        QCOMPARE(child<QLineEdit>(&d, "DBEdit13")->text(), QStringLiteral("renamed"));
        QCOMPARE(stored(QStringLiteral("TaskName")).value(0).toString(), QStringLiteral("T"));
        QTest::mouseClick(child<QPushButton>(&d, "btnCancel"), Qt::LeftButton);
        QVERIFY(!tasks->isEditing());
        QCOMPARE(tasks->field(QStringLiteral("TaskName")).asString(), QStringLiteral("T"));
    }

    void typedNumberKeptWhenKindSwitched_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("Enter") << "Enter";
        QTest::newRow("Alt+O") << "Alt+O";
    }
    void typedNumberKeptWhenKindSwitched()
    {
        QFETCH(QString, key);
        TfrmEdtTask& d = newTask();
        commitInto(&d, "DBEdit13", QStringLiteral("新闻列表"));
        QTest::mouseClick(child<QRadioButton>(&d, "rbNotOrdLst"), Qt::LeftButton);
        typeInto(&d, "DBEdit1", QStringLiteral("http://list/"));
        typeInto(&d, "DBEdit7", QStringLiteral("http://c/*"));
        typeInto(&d, "DBEdit10", QStringLiteral("50"));
        // The caret is still in the number box when OK is pressed.
        auto* box = child<QLineEdit>(&d, "DBEdit10");
        if (key == QLatin1String("Enter"))
            QTest::keyClick(box, Qt::Key_Return);
        else
            QTest::keyClick(box, Qt::Key_O, Qt::AltModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!d.isVisible(), 5000);
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(stored(QStringLiteral("TaskName, WebType, ResEnd")),
                 (QVariantList{QStringLiteral("新闻列表"), qint64(0), qint64(50)}));
    }

    void badNumberWithSwitchedKindIsFailedSave()
    {
        TfrmEdtTask& d = editTask(true);
        QTest::mouseClick(child<QRadioButton>(&d, "rbNotOrdLst"), Qt::LeftButton);
        typeInto(&d, "DBEdit10", QStringLiteral("12x"));
        QTest::keyClick(child<QLineEdit>(&d, "DBEdit10"), Qt::Key_Return);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("保存数据出错，错误信息如下：\r\r'12x' is not "
                                                    "a valid integer value"));
        QCOMPARE(boxes->last().caption, QStringLiteral("错误信息"));
        // The dialog stays with what was typed; the store keeps the old row.
        QVERIFY(d.isVisible());
        QVERIFY(tasks->isEditing());
        QCOMPARE(child<QLineEdit>(&d, "DBEdit10")->text(), QStringLiteral("12x"));
        QVERIFY(child<QRadioButton>(&d, "rbNotOrdLst")->isChecked());
        QCOMPARE(stored(QStringLiteral("WebType, ResEnd")), (QVariantList{qint64(1), qint64(9)}));
        // Corrected, Enter saves it.
        typeInto(&d, "DBEdit10", QStringLiteral("12"));
        QTest::keyClick(child<QLineEdit>(&d, "DBEdit10"), Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(stored(QStringLiteral("WebType, ResEnd")), (QVariantList{qint64(0), qint64(12)}));
    }

    void enterPressesFocusedButton_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("storedName");
        QTest::newRow("取消") << "btnCancel"
                              << "T";
        QTest::newRow("确定") << "btnOK"
                              << "renamed";
        QTest::newRow("a box: the default button") << "DBEdit2"
                                                   << "renamed";
        QTest::newRow("a radio button: the default button") << "rbOrdLst"
                                                            << "renamed";
    }
    void enterPressesFocusedButton()
    {
        QFETCH(QString, focus);
        QFETCH(QString, storedName);
        TfrmEdtTask& d = editTask(true);
        typeInto(&d, "DBEdit13", QStringLiteral("renamed"));
        QWidget* target = child<QWidget>(&d, focus.toLatin1().constData());
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QVERIFY(!tasks->isEditing());
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(stored(QStringLiteral("TaskName")).value(0).toString(), storedName);
    }

    void numberBoxRefusesText()
    {
        TfrmEdtTask& d = editTask(true);
        typeInto(&d, "DBEdit14", QStringLiteral("12x"));
        // Leaving the box shows the conversion error and brings the focus back.
        child<QLineEdit>(&d, "DBEdit13")->setFocus();
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().text, QStringLiteral("'12x' is not a valid integer value."));
        QCOMPARE(boxes->last().caption, QStringLiteral("Pagrim"));
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget()->objectName(),
                                  QStringLiteral("DBEdit14"), 5000);
        // OK with the text still there is a failed save that keeps the dialog.
        QTest::keyClick(child<QLineEdit>(&d, "DBEdit14"), Qt::Key_Return);
        QCOMPARE(boxes->count(), 2);
        QCOMPARE(boxes->last().text, QStringLiteral("保存数据出错，错误信息如下：\r\r'12x' is not "
                                                    "a valid integer value"));
        QVERIFY(d.isVisible());
        QCOMPARE(stored(QStringLiteral("ResEnd")).value(0).toInt(), 9);
    }
};

QTEST_MAIN(TstEdtTask)
#include "tst_edttask.moc"
