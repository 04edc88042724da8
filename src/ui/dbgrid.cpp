#include "ui/dbgrid.h"

#include "store/dataset.h"
#include "ui/guard.h"
#include "ui/roles.h"

#include <QHeaderView>

namespace pagrim::ui {

DataSetModel::DataSetModel(store::DataSet& dataSet, std::vector<GridColumn> columns,
                           QObject* parent)
    : QAbstractTableModel(parent), m_ds(dataSet), m_columns(std::move(columns))
{
    connect(&m_ds, &store::DataSet::layoutReset, this, [this] {
        beginResetModel();
        m_current = m_ds.currentRow();
        endResetModel();
    });
    connect(&m_ds, &store::DataSet::rowChanged, this, [this](int row) {
        if (row >= 0 && row < rowCount() && !m_columns.empty())
            Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
        Q_EMIT headerDataChanged(Qt::Vertical, row, row);
    });
    connect(&m_ds, &store::DataSet::currentChanged, this, &DataSetModel::currentMoved);
    connect(&m_ds, &store::DataSet::stateChanged, this, [this] {
        if (m_current >= 0 && m_current < rowCount())
            Q_EMIT headerDataChanged(Qt::Vertical, m_current, m_current);
    });
    m_current = m_ds.currentRow();
}

void DataSetModel::currentMoved(int row)
{
    const int old = m_current;
    m_current = row;
    if (old >= 0 && old < rowCount())
        Q_EMIT headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < rowCount())
        Q_EMIT headerDataChanged(Qt::Vertical, row, row);
}

int DataSetModel::fieldOf(int column) const
{
    return m_ds.fieldIndex(m_columns.at(size_t(column)).fieldName);
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_ds.recordCount();
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    if (role == Qt::DisplayRole) {
        const int f = fieldOf(index.column());
        return f < 0 ? QVariant() : QVariant(m_ds.displayText(index.row(), f));
    }
    if (role == Qt::EditRole) {
        const int f = fieldOf(index.column());
        return f < 0 ? QVariant() : m_ds.valueAt(index.row(), f);
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant(int(m_columns.at(size_t(index.column())).alignment));
    return {};
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount())
            return {};
        if (role == Qt::DisplayRole)
            return m_columns.at(size_t(section)).title;
        if (role == FieldNameRole)
            return m_columns.at(size_t(section)).fieldName;
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        if (section != m_current)
            return QString();
        switch (m_ds.state()) {
        case store::DataSet::State::Insert:
            return QStringLiteral("*");
        case store::DataSet::State::Edit:
            return QStringLiteral("I");
        default:
            return QStringLiteral("\u25B6");
        }
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant(int(Qt::AlignCenter));
    return {};
}

DBGrid::DBGrid(QWidget* parent) : QTableView(parent)
{
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setAlternatingRowColors(false);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setMinimumSectionSize(14);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    // The selection stays visible when the grid loses the focus.
    QPalette p = palette();
    p.setBrush(QPalette::Inactive, QPalette::Highlight,
               p.brush(QPalette::Active, QPalette::Highlight));
    p.setBrush(QPalette::Inactive, QPalette::HighlightedText,
               p.brush(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
}

void DBGrid::bind(store::DataSet& dataSet, std::vector<GridColumn> columns)
{
    delete m_model;
    m_model = new DataSetModel(dataSet, std::move(columns), this);
    setModel(m_model);
    connect(&dataSet, &store::DataSet::currentChanged, this, &DBGrid::followCurrent);
    connect(&dataSet, &store::DataSet::layoutReset, this, &DBGrid::followCurrent);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { rowPicked(current); });
    followCurrent();
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT doubleClickedAnywhere();
}

void DBGrid::followCurrent()
{
    if (!m_model)
        return;
    const int row = m_model->dataSet().currentRow();
    if (row < 0 || row >= m_model->rowCount()) {
        clearSelection();
        return;
    }
    if (currentIndex().row() == row && selectionModel()->isRowSelected(row, {}))
        return;
    m_following = true;
    const int column = qMax(0, currentIndex().column());
    selectionModel()->setCurrentIndex(m_model->index(row, column),
                                      QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
    m_following = false;
}

void DBGrid::rowPicked(const QModelIndex& current)
{
    if (m_following || !m_model || !current.isValid())
        return;
    store::DataSet& ds = m_model->dataSet();
    if (current.row() == ds.currentRow())
        return;
    guarded([&] { ds.moveTo(current.row()); });
    if (ds.currentRow() != current.row())
        followCurrent();
}

} // namespace pagrim::ui
