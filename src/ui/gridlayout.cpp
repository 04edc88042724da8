#include "ui/gridlayout.h"

#include "platform/settings.h"
#include "ui/roles.h"

#include <QHeaderView>
#include <QTableView>

namespace pagrim {

namespace {

constexpr int DefaultWidth = 100;

QString sectionOf(const QTableView* grid, const QString& ownerName)
{
    return ownerName + QLatin1Char('-') + grid->objectName();
}

QString fieldName(const QTableView* grid, int column)
{
    return grid->model()->headerData(column, Qt::Horizontal, ui::FieldNameRole).toString();
}

int columnCount(const QTableView* grid)
{
    return grid && grid->model() ? grid->model()->columnCount() : 0;
}

} // namespace

void LoadGridLayout(const Settings& settings, QTableView* grid, const QString& ownerName)
{
    const int columns = columnCount(grid);
    if (columns == 0)
        return;
    QHeaderView* header = grid->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter);
    const QString section = sectionOf(grid, ownerName);
    for (int c = 0; c < columns; ++c) {
        const QString key = fieldName(grid, c);
        if (key.isEmpty())
            continue;
        // A width edited by hand to nothing or to a huge value would lose the
        // column from sight; keep it within what the header lets a user drag to.
        const int width = settings.ReadInteger(section, key, DefaultWidth);
        grid->setColumnWidth(
            c, qBound(header->minimumSectionSize(), width, header->maximumSectionSize()));
    }
}

void SaveGridLayout(Settings& settings, QTableView* grid, const QString& ownerName)
{
    const int columns = columnCount(grid);
    const QString section = sectionOf(grid, ownerName);
    for (int c = 0; c < columns; ++c) {
        const QString key = fieldName(grid, c);
        if (!key.isEmpty())
            settings.WriteInteger(section, key, grid->columnWidth(c));
    }
}

} // namespace pagrim
