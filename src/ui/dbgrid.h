#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

namespace pagrim::store {
class DataSet;
}

namespace pagrim::ui {

struct GridColumn
{
    QString fieldName;
    QString title;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// A read-only table model over a data set: one column per given field, one row
// per record. The vertical header is the row indicator of the current record.
class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    DataSetModel(store::DataSet& dataSet, std::vector<GridColumn> columns,
                 QObject* parent = nullptr);

    store::DataSet& dataSet() const { return m_ds; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void currentMoved(int row);
    int fieldOf(int column) const;

    store::DataSet& m_ds;
    std::vector<GridColumn> m_columns;
    int m_current = -1;
};

// The data-bound grid: whole-row selection that follows the data set's current
// record and moves it when the user picks a row; the selection stays visible
// without focus.
class DBGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);
    void bind(store::DataSet& dataSet, std::vector<GridColumn> columns);
Q_SIGNALS:
    // A double click anywhere on the grid, rows or not.
    void doubleClickedAnywhere();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void followCurrent();
    void rowPicked(const QModelIndex& current);

    DataSetModel* m_model = nullptr;
    bool m_following = false;
};

} // namespace pagrim::ui
