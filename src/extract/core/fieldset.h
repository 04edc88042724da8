#pragma once

#include <QByteArrayView>

namespace pagrim::store {
class Connection;
class DataSet;
struct DescOptions;
} // namespace pagrim::store

namespace pagrim::extract {

// Fills a field row just appended to the field query: DescID one above the
// largest of all tasks, TaskID, the name "提取字段" + (the task's stored fields
// + 1) and DescNeed true; the markers stay empty. Two scratch queries on the
// connection, freed also when a statement fails.
void FillNewField(store::DataSet& fields, store::Connection& conn, int taskId);

// Sets DescNeed of every field row of the field query to value. A pending row
// is stored first; rows that already hold the value are not written. The bound
// controls stay still during the walk and are brought up to date at its end,
// also on failure. Afterwards the last row is current. Nothing happens on an
// empty query.
void SetAllDescNeed(store::DataSet& fields, bool value);

// Switches DescNeed of the current row and stores the row together with what
// was typed into it. Nothing happens on an empty query. A refused write leaves
// the row pending.
void SwitchDescNeed(store::DataSet& fields);

// Stores start and end (bytes in the code page) as DescStart and DescEnd of
// the current row, together with what was typed into it and with its options,
// in one transaction. Nothing happens on an empty query. A refused write
// leaves the row pending and the options as they were.
void SetDescMarkers(store::DataSet& fields, QByteArrayView start, QByteArrayView end, int codePage,
                    const store::DescOptions& options);

// Sets the option ShownText of the current row, stored as SetDescMarkers
// stores the options.
void SetShownText(store::DataSet& fields, bool shownText);

} // namespace pagrim::extract
