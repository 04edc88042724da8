#pragma once

namespace pagrim::store {
class DataSet;
}

namespace pagrim::extract {

// Sets DescNeed of every field row of the field query to value. A pending row
// is stored first; rows that already hold the value are not written. The bound
// controls stay still during the walk and are brought up to date at its end,
// also on failure. Afterwards the last row is current. Nothing happens on an
// empty query.
void SetAllDescNeed(store::DataSet& fields, bool value);

} // namespace pagrim::extract
