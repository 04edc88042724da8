#pragma once

#include <QByteArray>
#include <QList>
#include <QTableView>
#include <functional>
#include <vector>

class QAbstractButton;

namespace pagrim::extract {

class StringGridModel;

// A grid of 8-bit texts in the program code page, addressed by column and row
// of the whole grid. At most one fixed row and one fixed column: the fixed row
// is the horizontal header (it stays put when the rows scroll and its column
// borders can be dragged), the fixed column the vertical header, their shared
// cell the corner. The cells are held in a model of the grid's own, so a large
// grid fills without a widget per cell. Every cell, fixed or not, is painted by
// the drawCell handler on a painter whose brush and pen the grid has prepared.
class StringGrid : public QTableView
{
    Q_OBJECT
public:
    enum class CellState
    {
        Normal,
        Selected,
        Fixed
    };
    using DrawCell = std::function<void(QPainter& painter, int col, int row, const QRect& rect,
                                        CellState state)>;

    static constexpr int DefaultColWidth = 64;
    static constexpr int DefaultRowHeight = 24;

    explicit StringGrid(QWidget* parent = nullptr);
    ~StringGrid() override;

    // Changes of shape and cells within an Update reach the view once, at its end.
    class Update
    {
    public:
        explicit Update(StringGrid& grid);
        ~Update();
        Update(const Update&) = delete;
        Update& operator=(const Update&) = delete;

    private:
        StringGrid& m_grid;
    };

    int rowCount() const;
    int colCount() const;
    int fixedRows() const;
    int fixedCols() const;
    // Fewer than one row or column is taken as one; fixed counts are 0 or 1
    // and stay below the row and column counts.
    void setRowCount(int rows);
    void setColCount(int cols);
    void setFixedRows(int rows);
    void setFixedCols(int cols);

    // Cells outside the grid read empty; setting one beyond the columns is
    // dropped, beyond the rows too.
    QByteArray cell(int col, int row) const;
    void setCell(int col, int row, const QByteArray& text);
    // The cell's text as shown: its bytes in the program code page.
    QString cellText(int col, int row) const;

    int defaultColWidth() const { return m_defaultColWidth; }
    void setDefaultColWidth(int width);
    int colWidth(int col) const;
    void setColWidth(int col, int width);

    // The inside of a cell (without its grid lines) in the grid's coordinates;
    // empty when the cell is out of sight.
    QRect cellRect(int col, int row) const;

    void setDrawCell(DrawCell handler) { m_drawCell = std::move(handler); }
    // Prepares the painter for the cell and calls the drawCell handler.
    void paintCell(QPainter& painter, int col, int row, const QRect& rect, CellState state) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void beginChange();
    void endChange();
    void applyShape();

    StringGridModel* m_model;
    QAbstractButton* m_corner = nullptr;
    DrawCell m_drawCell;
    std::vector<int> m_colWidths;
    int m_defaultColWidth = DefaultColWidth;
    int m_updates = 0;
    bool m_applying = false;
};

} // namespace pagrim::extract
