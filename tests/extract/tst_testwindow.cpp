#include "extract/stringgrid.h"
#include "extract/ufrmTest.h"
#include "platform/codepage.h"
#include "support/testsupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

using namespace pagrim;
using extract::StringGrid;
using test::child;

namespace {

// Result lines are bytes in the program code page (pinned to GBK here).
QByteArray gbk(const char* utf8)
{
    return codepage::fromUnicode(QString::fromUtf8(utf8), codepage::Gbk);
}

QList<QByteArray> gbkLines(const QStringList& lines)
{
    QList<QByteArray> out;
    for (const QString& line : lines)
        out.append(codepage::fromUnicode(line, codepage::Gbk));
    return out;
}

QStringList texts(std::initializer_list<const char*> utf8)
{
    QStringList out;
    for (const char* text : utf8)
        out.append(QString::fromUtf8(text));
    return out;
}

// What the grid shows, each row's cells joined by "|".
QStringList shownCells(const StringGrid& grid)
{
    QStringList rows;
    for (int row = 0; row < grid.rowCount(); ++row) {
        QStringList cells;
        for (int col = 0; col < grid.colCount(); ++col)
            cells.append(grid.cellText(col, row));
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

// Bounding box of the pixels inside the cell (less its one-pixel edge) that
// differ from the cell's background, taken at the inside's top left corner.
QRect ink(const QImage& image, const QRect& cell)
{
    const QRect inside = cell.adjusted(1, 1, -1, -1);
    const QRgb background = image.pixel(inside.topLeft());
    QRect box;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (image.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

class TestTestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { codepage::setCurrentForTesting(codepage::Gbk); }
    void cleanupTestCase() { codepage::setCurrentForTesting(0); }

    void shapes_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("separator");
        // Each row's cells joined by "|".
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<int>("fixedRows");
        QTest::addColumn<int>("fixedCols");
        QTest::addColumn<QList<int>>("widths");
        const QString star = QStringLiteral("*");

        QTest::newRow("no line") << QStringList() << star << texts({""}) << 0 << 0
                                 << QList<int>{250};
        QTest::newRow("header alone, one column")
            << texts({"序号"}) << star << texts({"序号", ""}) << 1 << 0 << QList<int>{250};
        QTest::newRow("header alone, fields")
            << texts({"序号*标题*价格"}) << star << texts({"序号|标题|价格", "||"}) << 1 << 1
            << QList<int>{40, 250, 250};
        QTest::newRow("two lines")
            << texts({"序号*标题", "1*新闻"}) << star << texts({"序号|标题", "1|新闻"}) << 1 << 1
            << QList<int>{40, 250};
        // Fewer parts leave cells empty; more parts are not shown.
        QTest::newRow("n lines, short and long")
            << texts({"序号*标题*价格", "1*甲", "2*乙*3*多余", "3**5"}) << star
            << texts({"序号|标题|价格", "1|甲|", "2|乙|3", "3||5"}) << 1 << 1
            << QList<int>{40, 250, 250};
        QTest::newRow("n lines, one column")
            << texts({"序号", "1", "2"}) << star << texts({"序号", "1", "2"}) << 1 << 0
            << QList<int>{250};
        QTest::newRow("empty separator")
            << texts({"序号*标题", "1*新闻"}) << QString() << texts({"序号*标题", "1*新闻"}) << 1
            << 0 << QList<int>{250};
    }
    void shapes()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, separator);
        QFETCH(QStringList, cells);
        QFETCH(int, fixedRows);
        QFETCH(int, fixedCols);
        QFETCH(QList<int>, widths);

        QWidget owner;
        auto* w = new TfrmTest(&owner);
        auto* grid = child<StringGrid>(w, "StringGrid1");
        QAbstractItemModelTester tester(grid->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        w->ShowResults(gbkLines(lines), codepage::fromUnicode(separator, codepage::Gbk));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w, 5000));
        QCOMPARE(shownCells(*grid), cells);
        QCOMPARE(grid->fixedRows(), fixedRows);
        QCOMPARE(grid->fixedCols(), fixedCols);
        // The fixed row is the one that stays put: the header above the rows.
        QCOMPARE(grid->horizontalHeader()->isVisible(), fixedRows == 1);
        QCOMPARE(grid->verticalHeader()->isVisible(), fixedCols == 1);
        QList<int> shownWidths;
        for (int col = 0; col < grid->colCount(); ++col)
            shownWidths.append(grid->cellRect(col, 0).width());
        QCOMPARE(shownWidths, widths);
        // The first value row is the current one.
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(grid->selectionModel()->selectedRows().first().row(), 0);
        // The model follows a cell set and rows added and taken away.
        grid->setRowCount(grid->rowCount() + 2);
        grid->setCell(0, grid->rowCount() - 1, "x");
        QCOMPARE(grid->cellText(0, grid->rowCount() - 1), QStringLiteral("x"));
        grid->setRowCount(1);
    }

    // A separator byte inside a double-byte character splits it; the halves
    // show as the replacement character.
    void splitInsideCharacter()
    {
        QWidget owner;
        TfrmTest w(&owner);
        // 81 7C is one character whose trail byte is "|".
        w.ShowResults({gbk("序号|标题|价格"), QByteArray("1|\x81\x7C"
                                                         "b|\xD6")},
                      QByteArray("|"));
        auto* grid = child<StringGrid>(&w, "StringGrid1");
        QCOMPARE(grid->colCount(), 3);
        QCOMPARE(grid->cellText(1, 0), QStringLiteral("标题"));
        QCOMPARE(grid->cellText(1, 1), QString(QChar::ReplacementCharacter));
        QCOMPARE(grid->cellText(2, 1), QStringLiteral("b"));
        QCOMPARE(grid->cell(2, 1), QByteArray("b"));
    }

    void painting()
    {
        QWidget owner;
        TfrmTest w(&owner);
        const QByteArray longText =
            gbk("很长很长的一段文字，比这一列宽得多，在格子的右边被截断，后面看不见");
        w.ShowResults({gbk("序号*标题*说明"), gbk("1*a&&&&*x"), gbk("2*a&&*"), "3**" + longText},
                      "*");
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w, 5000));
        auto* grid = child<StringGrid>(&w, "StringGrid1");
        const QImage image = grid->grab().toImage();
        const QPalette& palette = grid->palette();

        // Brushes: fixed cells, the selected (first value) row, the others.
        const auto background = [&](int col, int row) {
            return QColor(image.pixel(grid->cellRect(col, row).topLeft() + QPoint(1, 1)));
        };
        QCOMPARE(background(0, 0), palette.color(QPalette::Button));
        QCOMPARE(background(1, 0), palette.color(QPalette::Button));
        QCOMPARE(background(0, 2), palette.color(QPalette::Button));
        QCOMPARE(background(1, 1), palette.color(QPalette::Highlight));
        QCOMPARE(background(1, 2), palette.color(QPalette::Base));

        // Title row and number column centred both ways.
        for (const QPoint& at : {QPoint(1, 0), QPoint(0, 2), QPoint(0, 0)}) {
            const QRect cell = grid->cellRect(at.x(), at.y());
            const QRect text = ink(image, cell);
            QVERIFY2(!text.isEmpty(),
                     qPrintable(QStringLiteral("cell %1,%2").arg(at.x()).arg(at.y())));
            QVERIFY(qAbs((text.left() - cell.left()) - (cell.right() - text.right())) <= 2);
            QVERIFY(qAbs((text.top() - cell.top()) - (cell.bottom() - text.bottom())) <= 2);
        }

        // A value starts at the left edge after one blank, centred vertically.
        const QRect valueCell = grid->cellRect(1, 2);
        const QRect value = ink(image, valueCell);
        const int blank = QFontMetrics(grid->font()).horizontalAdvance(QLatin1Char(' '));
        QVERIFY(value.left() - valueCell.left() >= blank);
        QVERIFY(value.left() - valueCell.left() <= blank + 2);
        QVERIFY(qAbs((value.top() - valueCell.top()) - (valueCell.bottom() - value.bottom())) <= 2);

        // Ampersands are drawn as they are: four are two wider than two.
        QVERIFY(ink(image, grid->cellRect(1, 1)).width() >
                value.width() +
                    QFontMetrics(grid->font()).horizontalAdvance(QStringLiteral("&&")) * 3 / 4);

        // A long value in the last column runs to its cell's edge and no further.
        const QRect longCell = grid->cellRect(2, 3);
        QVERIFY(ink(image, longCell).right() >= longCell.right() - 3);
        const QRect beyond(longCell.right() + 2, longCell.top(), 40, longCell.height());
        QVERIFY(grid->viewport()->geometry().contains(beyond));
        QVERIFY(ink(image, beyond).isEmpty());
    }

    void window()
    {
        QWidget main;
        main.setGeometry(100, 80, 900, 700);
        main.show();
        auto* owner = new QDialog(&main);
        owner->setGeometry(300, 300, 200, 100);
        owner->setWindowModality(Qt::ApplicationModal);
        owner->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner, 5000));

        QPointer<TfrmTest> w = new TfrmTest(owner);
        w->ShowResults({gbk("序号*标题"), gbk("1*甲"), gbk("2*乙"), gbk("3*丙")}, "*");
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w, 5000));
        QCOMPARE(w->windowTitle(), QStringLiteral("测试提取结果"));
        QVERIFY(w->isWindow());
        QVERIFY(!w->isModal());
        QCOMPARE(w->size(), QSize(688, 453));
        // Centred over the main window, not over its owner.
        QVERIFY((w->frameGeometry().center() - main.frameGeometry().center()).manhattanLength() <=
                1);

        // Usable beside its modal owner: a click picks a row, and nothing edits.
        auto* grid = child<StringGrid>(w, "StringGrid1");
        const QRect third = grid->cellRect(1, 3);
        const QPoint at = grid->viewport()->mapFrom(grid, third.center());
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE_WITH_TIMEOUT(grid->currentIndex().row(), 2, 5000);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(grid->viewport()->findChildren<QLineEdit*>().isEmpty());
        QCOMPARE(grid->cell(1, 3), gbk("丙"));

        // Column borders are dragged in the title row.
        QWidget* top = grid->horizontalHeader()->viewport();
        const QPoint border(grid->horizontalHeader()->sectionSize(0) - 1, 10);
        QTest::mousePress(top, Qt::LeftButton, {}, border);
        QTest::mouseMove(top, border + QPoint(60, 0));
        QTest::mouseRelease(top, Qt::LeftButton, {}, border + QPoint(60, 0));
        QCOMPARE(grid->colWidth(1), 310);
        QCOMPARE(grid->cellRect(1, 3).width(), 310);

        // Closing hides it.
        QVERIFY(w->close());
        QVERIFY(w);
        QVERIFY(!w->isVisible());

        // Several at once; all go with their owner.
        QPointer<TfrmTest> second = new TfrmTest(owner);
        QPointer<TfrmTest> last = new TfrmTest(owner);
        second->ShowResults({gbk("序号")}, "*");
        last->ShowResults({}, "*");
        second->show();
        last->show();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(last, 5000));
        QVERIFY(w->isVisible() && second->isVisible() && last->isVisible());
        delete owner;
        QVERIFY(!w && !second && !last);
    }
};

QTEST_MAIN(TestTestWindow)
#include "tst_testwindow.moc"
