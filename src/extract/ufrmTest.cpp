#include "extract/ufrmTest.h"
#include "ui_ufrmTest.h"

#include "extract/core/separator.h"
#include "extract/stringgrid.h"

#include <QPainter>

using pagrim::extract::StringGrid;

namespace {
constexpr int ColWidth = 250;
constexpr int NumberColWidth = 40;
} // namespace

TfrmTest::TfrmTest(QWidget* owner)
    : QWidget(owner, Qt::Window), ui(std::make_unique<Ui::TfrmTest>())
{
    ui->setupUi(this);
    ui->StringGrid1->setDefaultColWidth(ColWidth);
    ui->StringGrid1->setDrawCell(
        [this](QPainter& painter, int col, int row, const QRect& rect, StringGrid::CellState) {
            StringGrid1DrawCell(painter, col, row, rect);
        });
}

TfrmTest::~TfrmTest() = default;

void TfrmTest::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    // Centred over the main window: the top of the owner's chain.
    QWidget* main = parentWidget();
    while (main && main->parentWidget())
        main = main->parentWidget();
    if (main)
        move(main->geometry().center() - rect().center());
}

void TfrmTest::ShowResults(const QList<QByteArray>& lines, const QByteArray& separator)
{
    StringGrid& grid = *ui->StringGrid1;
    const StringGrid::Update update(grid);
    grid.setFixedRows(0);
    grid.setFixedCols(0);
    grid.setRowCount(1);
    grid.setColCount(1);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> parts = pagrim::extract::SplitBySeparator(lines[i], separator);
        if (i == 0)
            grid.setColCount(int(parts.size()));
        grid.setRowCount(grid.rowCount() + 1);
        for (qsizetype j = 0; j < parts.size(); ++j)
            grid.setCell(int(j), int(i), parts[j]);
    }
    // Every line added a row, so the last one is always empty.
    if (grid.rowCount() > 1) {
        grid.setFixedRows(1);
        if (grid.rowCount() > 2)
            grid.setRowCount(grid.rowCount() - 1);
    }
    if (grid.colCount() > 1) {
        grid.setColWidth(0, NumberColWidth);
        grid.setFixedCols(1);
    }
}

void TfrmTest::StringGrid1DrawCell(QPainter& painter, int col, int row, const QRect& rect)
{
    painter.fillRect(rect, painter.brush());
    QString text = ui->StringGrid1->cellText(col, row);
    // Title row and number column by their index, whether fixed or not.
    int flags = Qt::TextSingleLine | Qt::AlignVCenter;
    if (row == 0 || col == 0) {
        flags |= Qt::AlignHCenter;
    } else {
        text.prepend(QLatin1Char(' '));
        flags |= Qt::AlignLeft;
    }
    // Cut at the cell's edge; no mnemonics, so "&" stays "&".
    painter.drawText(rect, flags, text);
}
