#include "extract/stringgrid.h"

#include "platform/codepage.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace pagrim::extract {

// The cells of the grid, seen by the view without the fixed row and column,
// which the headers show.
class StringGridModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void begin() { beginResetModel(); }
    void end() { endResetModel(); }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(rows.size()) - fixedRows;
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : cols - fixedCols;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return text(index.column() + fixedCols, index.row() + fixedRows);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Horizontal)
            return fixedRows ? QVariant(text(section + fixedCols, 0)) : QVariant();
        return fixedCols ? QVariant(text(0, section + fixedRows)) : QVariant();
    }

    QByteArray cell(int col, int row) const
    {
        if (row < 0 || row >= int(rows.size()) || col < 0 || col >= cols)
            return {};
        const QList<QByteArray>& line = rows[size_t(row)];
        return col < line.size() ? line[col] : QByteArray();
    }
    QString text(int col, int row) const { return codepage::toUnicode(cell(col, row)); }

    std::vector<QList<QByteArray>> rows{1};
    int cols = 1;
    int fixedRows = 0;
    int fixedCols = 0;
};

namespace {

// Cells of the view proper: not fixed, selected by whole rows.
class CellDelegate : public QStyledItemDelegate
{
public:
    CellDelegate(StringGrid* grid, const StringGridModel* model)
        : QStyledItemDelegate(grid), m_grid(grid), m_model(model)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const auto state = option.state & QStyle::State_Selected ? StringGrid::CellState::Selected
                                                                 : StringGrid::CellState::Normal;
        m_grid->paintCell(*painter, index.column() + m_model->fixedCols,
                          index.row() + m_model->fixedRows, option.rect, state);
    }

private:
    StringGrid* m_grid;
    const StringGridModel* m_model;
};

// The fixed cells: a black line right and below, the cell painted by the
// grid, and a raised edge inside.
void paintFixedCell(const StringGrid& grid, QPainter& painter, int col, int row,
                    const QRect& section)
{
    painter.fillRect(QRect(section.right(), section.top(), 1, section.height()), Qt::black);
    painter.fillRect(QRect(section.left(), section.bottom(), section.width(), 1), Qt::black);
    const QRect cell = section.adjusted(0, 0, -1, -1);
    grid.paintCell(painter, col, row, cell, StringGrid::CellState::Fixed);
    painter.save();
    painter.setPen(grid.palette().color(QPalette::Light));
    painter.drawLine(cell.topLeft(), cell.topRight());
    painter.drawLine(cell.topLeft(), cell.bottomLeft());
    painter.setPen(grid.palette().color(QPalette::Dark));
    painter.drawLine(cell.bottomLeft(), cell.bottomRight());
    painter.drawLine(cell.topRight(), cell.bottomRight());
    painter.restore();
}

class FixedHeader : public QHeaderView
{
public:
    FixedHeader(Qt::Orientation orientation, StringGrid* grid)
        : QHeaderView(orientation, grid), m_grid(grid)
    {
    }

protected:
    // Past the last section the grid shows its window colour, not a header.
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(viewport());
        painter.fillRect(event->rect(), m_grid->palette().brush(QPalette::Active, QPalette::Base));
        const bool across = orientation() == Qt::Horizontal;
        const int from = across ? event->rect().left() : event->rect().top();
        const int to = across ? event->rect().right() : event->rect().bottom();
        int first = visualIndexAt(from);
        int last = visualIndexAt(to);
        if (first < 0)
            return;
        if (last < 0)
            last = count() - 1;
        for (int visual = first; visual <= last; ++visual) {
            const int logical = logicalIndex(visual);
            const int pos = sectionViewportPosition(logical);
            const int size = sectionSize(logical);
            const QRect rect = across ? QRect(pos, 0, size, viewport()->height())
                                      : QRect(0, pos, viewport()->width(), size);
            painter.save();
            paintSection(&painter, rect, logical);
            painter.restore();
        }
    }
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        if (!rect.isValid())
            return;
        if (orientation() == Qt::Horizontal)
            paintFixedCell(*m_grid, *painter, logicalIndex + m_grid->fixedCols(), 0, rect);
        else
            paintFixedCell(*m_grid, *painter, 0, logicalIndex + m_grid->fixedRows(), rect);
    }

private:
    StringGrid* m_grid;
};

} // namespace

StringGrid::StringGrid(QWidget* parent) : QTableView(parent), m_model(new StringGridModel(this))
{
    auto* top = new FixedHeader(Qt::Horizontal, this);
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setSectionsMovable(false);
    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setMinimumSectionSize(1);
    top->setStretchLastSection(false);
    top->setFixedHeight(DefaultRowHeight + 1);
    setHorizontalHeader(top);
    auto* left = new FixedHeader(Qt::Vertical, this);
    left->setSectionsClickable(false);
    left->setHighlightSections(false);
    left->setMinimumSectionSize(1);
    left->setSectionResizeMode(QHeaderView::Fixed);
    setVerticalHeader(left);
    // Sizes of rows and columns are those of the cells; the view's sections
    // hold the grid line after each as well.
    verticalHeader()->setDefaultSectionSize(DefaultRowHeight + 1);

    setModel(m_model);
    setItemDelegate(new CellDelegate(this, m_model));
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    m_corner = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (m_corner)
        m_corner->installEventFilter(this);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) {
                const size_t col = size_t(logical + fixedCols());
                if (!m_applying && m_updates == 0 && col < m_colWidths.size())
                    m_colWidths[col] = size - 1;
            });
    m_colWidths.assign(1, m_defaultColWidth);
    applyShape();
}

StringGrid::~StringGrid() = default;

StringGrid::Update::Update(StringGrid& grid) : m_grid(grid)
{
    m_grid.beginChange();
}

StringGrid::Update::~Update()
{
    m_grid.endChange();
}

void StringGrid::beginChange()
{
    if (m_updates++ == 0)
        m_model->begin();
}

void StringGrid::endChange()
{
    if (--m_updates == 0) {
        m_model->end();
        applyShape();
    }
}

int StringGrid::rowCount() const
{
    return int(m_model->rows.size());
}

int StringGrid::colCount() const
{
    return m_model->cols;
}

int StringGrid::fixedRows() const
{
    return m_model->fixedRows;
}

int StringGrid::fixedCols() const
{
    return m_model->fixedCols;
}

void StringGrid::setRowCount(int rows)
{
    beginChange();
    m_model->rows.resize(size_t(qMax(1, rows)));
    m_model->fixedRows = qMin(m_model->fixedRows, rowCount() - 1);
    endChange();
}

void StringGrid::setColCount(int cols)
{
    beginChange();
    m_model->cols = qMax(1, cols);
    m_model->fixedCols = qMin(m_model->fixedCols, m_model->cols - 1);
    for (QList<QByteArray>& line : m_model->rows) {
        if (line.size() > m_model->cols)
            line.resize(m_model->cols);
    }
    m_colWidths.resize(size_t(m_model->cols), m_defaultColWidth);
    endChange();
}

void StringGrid::setFixedRows(int rows)
{
    beginChange();
    m_model->fixedRows = qBound(0, rows, qMin(1, rowCount() - 1));
    endChange();
}

void StringGrid::setFixedCols(int cols)
{
    beginChange();
    m_model->fixedCols = qBound(0, cols, qMin(1, colCount() - 1));
    endChange();
}

QByteArray StringGrid::cell(int col, int row) const
{
    return m_model->cell(col, row);
}

QString StringGrid::cellText(int col, int row) const
{
    return m_model->text(col, row);
}

void StringGrid::setCell(int col, int row, const QByteArray& text)
{
    if (row < 0 || row >= rowCount() || col < 0 || col >= colCount())
        return;
    QList<QByteArray>& line = m_model->rows[size_t(row)];
    if (line.size() <= col) {
        if (text.isEmpty())
            return;
        line.resize(col + 1);
    }
    line[col] = text;
    if (m_updates == 0) {
        const QModelIndex changed = row < fixedRows() || col < fixedCols()
                                        ? QModelIndex()
                                        : m_model->index(row - fixedRows(), col - fixedCols());
        if (changed.isValid())
            Q_EMIT m_model->dataChanged(changed, changed);
        else
            viewport()->update();
        horizontalHeader()->viewport()->update();
        verticalHeader()->viewport()->update();
    }
}

void StringGrid::setDefaultColWidth(int width)
{
    beginChange();
    for (int& w : m_colWidths)
        w = width;
    m_defaultColWidth = width;
    endChange();
}

int StringGrid::colWidth(int col) const
{
    return col >= 0 && size_t(col) < m_colWidths.size() ? m_colWidths[size_t(col)] : 0;
}

void StringGrid::setColWidth(int col, int width)
{
    if (col < 0 || size_t(col) >= m_colWidths.size())
        return;
    m_colWidths[size_t(col)] = qMax(0, width);
    if (m_updates == 0)
        applyShape();
}

void StringGrid::applyShape()
{
    m_applying = true;
    const int fr = fixedRows();
    const int fc = fixedCols();
    horizontalHeader()->setVisible(fr > 0);
    verticalHeader()->setVisible(fc > 0);
    if (fc > 0)
        verticalHeader()->setFixedWidth(colWidth(0) + 1);
    horizontalHeader()->setDefaultSectionSize(m_defaultColWidth + 1);
    for (int col = fc; col < colCount(); ++col) {
        const int size = colWidth(col) + 1;
        if (horizontalHeader()->sectionSize(col - fc) != size)
            horizontalHeader()->resizeSection(col - fc, size);
    }
    if (!currentIndex().isValid() && m_model->rowCount() > 0 && m_model->columnCount() > 0)
        setCurrentIndex(m_model->index(0, 0));
    m_applying = false;
}

QRect StringGrid::cellRect(int col, int row) const
{
    if (row < 0 || row >= rowCount() || col < 0 || col >= colCount())
        return {};
    const int fr = fixedRows();
    const int fc = fixedCols();
    const QHeaderView* top = horizontalHeader();
    const QHeaderView* left = verticalHeader();
    QRect rect;
    QRect area;
    if (row < fr && col < fc) {
        area = m_corner ? m_corner->geometry() : QRect();
        rect = area;
    } else if (row < fr) {
        area = top->geometry();
        rect = QRect(area.x() + top->sectionViewportPosition(col - fc), area.y(),
                     top->sectionSize(col - fc), area.height());
    } else if (col < fc) {
        area = left->geometry();
        rect = QRect(area.x(), area.y() + left->sectionViewportPosition(row - fr), area.width(),
                     left->sectionSize(row - fr));
    } else {
        area = viewport()->geometry();
        // visualRect leaves out the grid lines already.
        return visualRect(m_model->index(row - fr, col - fc))
            .translated(area.topLeft())
            .intersected(area);
    }
    return rect.adjusted(0, 0, -1, -1).intersected(area);
}

void StringGrid::paintCell(QPainter& painter, int col, int row, const QRect& rect,
                           CellState state) const
{
    QPalette::ColorRole back = QPalette::Base;
    QPalette::ColorRole fore = QPalette::Text;
    if (state == CellState::Fixed) {
        back = QPalette::Button;
        fore = QPalette::ButtonText;
    } else if (state == CellState::Selected) {
        back = QPalette::Highlight;
        fore = QPalette::HighlightedText;
    }
    painter.save();
    painter.setBrush(palette().brush(QPalette::Active, back));
    painter.setPen(palette().color(QPalette::Active, fore));
    painter.setFont(font());
    if (m_drawCell) {
        m_drawCell(painter, col, row, rect, state);
    } else {
        painter.fillRect(rect, painter.brush());
        painter.drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         cellText(col, row));
    }
    painter.restore();
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_corner && event->type() == QEvent::Paint) {
        QPainter painter(m_corner);
        paintFixedCell(*this, painter, 0, 0, m_corner->rect());
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

} // namespace pagrim::extract
