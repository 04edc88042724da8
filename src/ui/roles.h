#pragma once

#include <Qt>

namespace pagrim::ui {

// Header data of a data grid's column: the field name it shows.
constexpr int FieldNameRole = Qt::UserRole + 1;

} // namespace pagrim::ui
