// The data-aware widgets over a real field query: grid model, grid, edit, memo,
// navigator and the check-box cells.
#include "store/connection.h"
#include "store/dataset.h"
#include "support/testsupport.h"
#include "ui/dbcheckdelegate.h"
#include "ui/dbedit.h"
#include "ui/dbgrid.h"
#include "ui/dbnavigator.h"
#include "ui/roles.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QToolButton>
#include <QtTest>

using namespace pagrim;
using store::DataSet;

namespace {
const QString descQuery = QStringLiteral("select * from descs where taskid=:taskid");

using test::commitText;
} // namespace

class TstDbWidgets : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<test::MessageRecorder> boxes;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<DataSet> ds;

    void exec(const QString& sql) { conn->database().exec(sql); }
    int count(const QString& where)
    {
        auto q = store::CreateScratchQuery(*conn);
        q->setCommandText(QStringLiteral("select count(*) from Descs where ") + where);
        q->open();
        return q->field(0).asInteger();
    }
    // n field rows of task 1 (DescID 1..n, every second one selected) and the query on them.
    DataSet& fields(int n)
    {
        for (int i = 1; i <= n; ++i)
            exec(QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, "
                                "DescStart, DescEnd) values (%1, 1, 'F%1', %2, 's%1', 'e%1')")
                     .arg(i)
                     .arg(i % 2));
        ds = std::make_unique<DataSet>(*conn);
        ds->setCommandText(descQuery);
        ds->setParameter(QStringLiteral("taskid"), 1);
        ds->setAfterInsert([](DataSet& d) {
            d.field(QStringLiteral("DescID")).setValue(100 + d.recordCount());
            d.field(QStringLiteral("TaskID")).setValue(1);
            d.field(QStringLiteral("DescName")).setValue(QStringLiteral("新字段"));
            d.field(QStringLiteral("DescNeed")).setValue(true);
        });
        ds->open();
        return *ds;
    }
    std::vector<ui::GridColumn> columns()
    {
        return {{QStringLiteral("DescNeed"), QStringLiteral("选中"), Qt::AlignCenter},
                {QStringLiteral("DescName"), QStringLiteral("提取字段名称")}};
    }

private Q_SLOTS:
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        boxes = std::make_unique<test::MessageRecorder>();
        conn = std::make_unique<store::Connection>();
        conn->open();
    }
    void cleanup()
    {
        ds.reset();
        conn.reset();
        boxes.reset();
        world.reset();
    }

    void modelStaysConsistent()
    {
        DataSet& d = fields(3);
        ui::DataSetModel model(d, columns());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("提取字段名称"));
        QCOMPARE(model.headerData(0, Qt::Horizontal, ui::FieldNameRole).toString(),
                 QStringLiteral("DescNeed"));
        d.append();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.data(model.index(3, 1), Qt::DisplayRole).toString(),
                 QStringLiteral("新字段"));
        d.post();
        d.first();
        d.deleteRecord();
        QCOMPARE(model.rowCount(), 3);
        d.append();
        d.cancel();
        QCOMPARE(model.rowCount(), 3);
        d.close();
        QCOMPARE(model.rowCount(), 0);
        d.open();
        QCOMPARE(model.rowCount(), 3);
        // A value changed in place, the current row moved, another task's rows.
        d.edit();
        d.field(QStringLiteral("DescName")).setValue(QStringLiteral("改名"));
        QCOMPARE(model.data(model.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("改名"));
        d.post();
        d.last();
        d.close();
        d.setParameter(QStringLiteral("taskid"), 2);
        d.open();
        QCOMPARE(model.rowCount(), 0);
    }

    void rowIndicator_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("indicator");
        QTest::newRow("browse") << "browse" << QStringLiteral("\u25B6");
        QTest::newRow("edit") << "edit"
                              << "I";
        QTest::newRow("insert") << "insert"
                                << "*";
    }
    void rowIndicator()
    {
        QFETCH(QString, action);
        QFETCH(QString, indicator);
        DataSet& d = fields(2);
        ui::DataSetModel model(d, columns());
        if (action == QLatin1String("edit"))
            d.edit();
        else if (action == QLatin1String("insert"))
            d.append();
        QCOMPARE(model.headerData(d.currentRow(), Qt::Vertical, Qt::DisplayRole).toString(),
                 indicator);
        const int other = d.currentRow() == 0 ? 1 : 0;
        QCOMPARE(model.headerData(other, Qt::Vertical, Qt::DisplayRole).toString(), QString());
    }

    void gridFollowsAndMovesCurrent()
    {
        DataSet& d = fields(3);
        ui::DBGrid grid;
        grid.bind(d, columns());
        grid.resize(300, 200);
        grid.show();
        d.last();
        QCOMPARE(grid.currentIndex().row(), 2);
        QVERIFY(grid.selectionModel()->isRowSelected(2, {}));
        // A row the user picks becomes current, and a pending edit is posted first.
        d.edit();
        d.field(QStringLiteral("DescName")).setValue(QStringLiteral("改过"));
        QCOMPARE(d.state(), DataSet::State::Edit);
        const QRect cell = grid.visualRect(grid.model()->index(0, 1));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(d.currentRow(), 0);
        QCOMPARE(count(QStringLiteral("DescName = '改过'")), 1);
        QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void editFollowsRowAndWritesAtOnce()
    {
        DataSet& d = fields(2);
        ui::DBEdit edit;
        edit.bindField(d, QStringLiteral("DescName"));
        edit.show();
        QCOMPARE(edit.text(), QStringLiteral("F1"));
        QCOMPARE(edit.maxLength(), 255);
        d.next();
        QCOMPARE(edit.text(), QStringLiteral("F2"));
        edit.setFocus();
        edit.selectAll();
        commitText(&edit, QStringLiteral("名称"));
        QCOMPARE(d.state(), DataSet::State::Edit);
        QCOMPARE(d.field(QStringLiteral("DescName")).asString(), QStringLiteral("名称"));
        d.cancel();
        QCOMPARE(edit.text(), QStringLiteral("F2"));
        QVERIFY(!edit.modified());
    }

    void memoStoresCrLf()
    {
        DataSet& d = fields(1);
        exec(QStringLiteral("update Descs set DescStart = 'a' || char(13) || char(10) || 'b'"));
        d.close();
        d.open();
        ui::DBMemo memo;
        memo.bindField(d, QStringLiteral("DescStart"));
        memo.show();
        QCOMPARE(memo.toPlainText(), QStringLiteral("a\nb"));
        QCOMPARE(d.state(), DataSet::State::Browse); // loading is no typing
        memo.setFocus();
        memo.moveCursor(QTextCursor::End);
        QTest::keyClick(&memo, Qt::Key_Return);
        QTest::keyClicks(&memo, QStringLiteral("c"));
        QCOMPARE(d.state(), DataSet::State::Edit);
        QCOMPARE(d.field(QStringLiteral("DescStart")).asString(), QStringLiteral("a\r\nb\r\nc"));
        d.post();
        QCOMPARE(count(QStringLiteral("DescStart = 'a' || char(13) || char(10) || 'b' || "
                                      "char(13) || char(10) || 'c'")),
                 1);
    }

    void navigatorEnabling_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("where"); // first, middle, last, edit, insert, closed
        // first prior next last insert delete post cancel
        QTest::addColumn<QString>("enabled");
        QTest::newRow("empty") << 0 << "first"
                               << "00001000";
        QTest::newRow("one row") << 1 << "first"
                                 << "00001100";
        QTest::newRow("first of three") << 3 << "first"
                                        << "00111100";
        QTest::newRow("middle") << 3 << "middle"
                                << "11111100";
        QTest::newRow("last") << 3 << "last"
                              << "11001100";
        QTest::newRow("editing") << 3 << "edit"
                                 << "00111111";
        QTest::newRow("inserting") << 2 << "insert"
                                   << "11001111";
        QTest::newRow("inserting into empty") << 0 << "insert"
                                              << "00001111";
        QTest::newRow("closed") << 2 << "closed"
                                << "00000000";
    }
    void navigatorEnabling()
    {
        QFETCH(int, rows);
        QFETCH(QString, where);
        QFETCH(QString, enabled);
        DataSet& d = fields(rows);
        ui::DBNavigator nav;
        nav.bind(d);
        if (where == QLatin1String("middle"))
            d.next();
        else if (where == QLatin1String("last"))
            d.last();
        else if (where == QLatin1String("edit"))
            d.edit();
        else if (where == QLatin1String("insert"))
            d.append();
        else if (where == QLatin1String("closed"))
            d.close();
        QString actual;
        for (int b = 0; b < ui::DBNavigator::ButtonCount; ++b)
            actual += nav.button(ui::DBNavigator::Button(b))->isEnabled() ? QLatin1Char('1')
                                                                          : QLatin1Char('0');
        QCOMPARE(actual, enabled);
    }

    void navigatorActions()
    {
        DataSet& d = fields(3);
        ui::DBNavigator nav;
        nav.bind(d);
        nav.resize(456, 25);
        nav.show();
        const QStringList hints =
            QStringLiteral("第一条 上一条 下一条 最后一条 添加 删除 保存 取消")
                .split(QLatin1Char(' '));
        for (int b = 0; b < ui::DBNavigator::ButtonCount; ++b)
            QCOMPARE(nav.button(ui::DBNavigator::Button(b))->toolTip(), hints[b]);
        auto click = [&](ui::DBNavigator::Button b) {
            QTest::mouseClick(nav.button(b), Qt::LeftButton);
        };
        click(ui::DBNavigator::Last);
        QCOMPARE(d.currentRow(), 2);
        click(ui::DBNavigator::Prior);
        QCOMPARE(d.currentRow(), 1);
        click(ui::DBNavigator::First);
        QCOMPARE(d.currentRow(), 0);
        click(ui::DBNavigator::Next);
        QCOMPARE(d.currentRow(), 1);
        // Delete removes the row from the store at once, without a question.
        click(ui::DBNavigator::Delete);
        QCOMPARE(boxes->count(), 0);
        QCOMPARE(count(QStringLiteral("DescID = 2")), 0);
        QCOMPARE(d.recordCount(), 2);
        click(ui::DBNavigator::Insert);
        QCOMPARE(d.state(), DataSet::State::Insert);
        click(ui::DBNavigator::Cancel);
        QCOMPARE(d.recordCount(), 2);
        QCOMPARE(count(QStringLiteral("TaskID = 1")), 2);
        click(ui::DBNavigator::Insert);
        click(ui::DBNavigator::Post);
        QCOMPARE(count(QStringLiteral("DescName = '新字段'")), 1);
        QVERIFY(!nav.button(ui::DBNavigator::Post)->isEnabled());
    }

    void navigatorErrorShown()
    {
        DataSet& d = fields(1);
        ui::DBNavigator nav;
        nav.bind(d);
        d.edit();
        d.field(QStringLiteral("DescID")).setValue(QVariant());
        exec(QStringLiteral("insert into Descs (DescID, TaskID) values (50, 1)"));
        // A key the store refuses: the error is shown and the row stays pending.
        d.field(QStringLiteral("DescID")).setValue(50);
        nav.btnClick(ui::DBNavigator::Post);
        QCOMPARE(boxes->count(), 1);
        QCOMPARE(boxes->last().icon, ui::Icon::Error);
        QVERIFY(d.isEditing());
        QVERIFY(nav.button(ui::DBNavigator::Cancel)->isEnabled());
    }

    void checkValues_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("checked");
        QTest::newRow("1") << QVariant(1) << true;
        QTest::newRow("0") << QVariant(0) << false;
        QTest::newRow("null") << QVariant() << false;
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("text True") << QVariant(QStringLiteral("True")) << true;
        QTest::newRow("text 0") << QVariant(QStringLiteral("0")) << false;
        QTest::newRow("text 2") << QVariant(QStringLiteral("2")) << true;
        QTest::newRow("text yes") << QVariant(QStringLiteral("yes")) << false;
    }
    void checkValues()
    {
        QFETCH(QVariant, value);
        QStandardItemModel model(1, 1);
        model.setData(model.index(0, 0), value, Qt::EditRole);
        QTEST(ui::DBCheckDelegate::checked(model.index(0, 0)), "checked");
    }

    // The box and the field read a value alike, whatever form it is stored in.
    void checkCellsReadAsTheField_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("checked");
        QTest::newRow("1") << QStringLiteral("1") << true;
        QTest::newRow("0") << QStringLiteral("0") << false;
        QTest::newRow("null") << QStringLiteral("null") << false;
        QTest::newRow("text 2") << QStringLiteral("'2'") << true;
        QTest::newRow("text -1") << QStringLiteral("'-1'") << true;
        QTest::newRow("text 0") << QStringLiteral("'0'") << false;
        QTest::newRow("text TRUE") << QStringLiteral("' TRUE '") << true;
        QTest::newRow("text false") << QStringLiteral("'false'") << false;
        QTest::newRow("text yes") << QStringLiteral("'yes'") << false;
        QTest::newRow("empty") << QStringLiteral("''") << false;
    }
    void checkCellsReadAsTheField()
    {
        QFETCH(QString, stored);
        QFETCH(bool, checked);
        // A value of no declared type reaches the cell as it is stored.
        DataSet raw(*conn);
        raw.setCommandText(QStringLiteral("select ") + stored + QStringLiteral(" as DescNeed"));
        raw.open();
        ui::DBGrid grid;
        grid.bind(raw, columns());
        QCOMPARE(ui::DBCheckDelegate::checked(grid.model()->index(0, 0)), checked);
        QCOMPARE(raw.field(QStringLiteral("DescNeed")).asBoolean(), checked);
    }

    void checkCellsDrawn()
    {
        DataSet& d = fields(2); // row 0 selected field, row 1 not
        ui::DBGrid grid;
        grid.bind(d, columns());
        grid.setItemDelegateForColumn(0, new ui::DBCheckDelegate(&grid));
        grid.resize(260, 120);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const QImage shot = grid.viewport()->grab().toImage();
        const QRect on = grid.visualRect(grid.model()->index(0, 0));
        const QRect off = grid.visualRect(grid.model()->index(1, 0));
        // The current row's cell is filled with the highlight over the drawn text.
        const QColor highlight = grid.palette().color(QPalette::Active, QPalette::Highlight);
        QCOMPARE(shot.pixelColor(on.left() + 2, on.top() + 1), highlight);
        QCOMPARE(shot.pixelColor(on.right() - 2, on.bottom() - 1), highlight);
        // Ticked and unticked boxes differ; both sit in the cell's middle.
        const auto centre = [&](const QRect& r) {
            const int side = qMin(r.height(), 13) - 2;
            return shot.copy(
                QRect(r.center().x() - side / 2, r.center().y() - side / 2, side, side));
        };
        QImage onBox = centre(on), offBox = centre(off);
        QVERIFY(onBox != offBox);
        d.moveTo(1);
        QApplication::processEvents();
        const QImage after = grid.viewport()->grab().toImage();
        QVERIFY(after.pixelColor(on.left() + 2, on.top() + 1) != highlight);
    }
};

QTEST_MAIN(TstDbWidgets)
#include "tst_dbwidgets.moc"
