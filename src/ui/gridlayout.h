#pragma once

#include <QString>

class QTableView;

namespace pagrim {

class Settings;

// Column widths of a data grid in the settings file: section ownerName + "-" +
// the grid's object name, one key per column named by its field name
// (ui::FieldNameRole header data); columns without a field name are skipped.

// Centres every column title and sets every column width from the settings
// (100 when nothing is stored). A grid without columns is left alone.
void LoadGridLayout(const Settings& settings, QTableView* grid, const QString& ownerName);

// Stores every column width. Throws pagrim::Error when the file refuses the write.
void SaveGridLayout(Settings& settings, QTableView* grid, const QString& ownerName);

} // namespace pagrim
