#pragma once

namespace pagrim::store {

class Connection;

// What a field needs beyond the columns of Descs, kept in the table DescOptions
// by DescID. A field without a row there, or with a NULL column, has the
// default. The row goes when the field's row is deleted (a trigger of the store).
struct DescOptions
{
    // The value written is the text the page shows between the markers, not
    // the bytes there.
    bool shownText = false;

    bool operator==(const DescOptions&) const = default;
};

// The options of a field: the defaults for a field without a row, and for every
// field of a store that lacks the table (one that could not be changed at open).
DescOptions readDescOptions(Connection& connection, int descId);

// Stores the options of a field, within the caller's transaction when one is
// open. A store that lacks the table or a column gets it first.
void writeDescOptions(Connection& connection, int descId, const DescOptions& options);

} // namespace pagrim::store
