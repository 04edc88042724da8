#pragma once

#include "extract/core/shown.h"

#include <QByteArray>
#include <vector>

// Candidate markers around a value found in its page: the start markers that
// may end where a cut of it begins and the end markers that may begin where it
// ends, each standing there first in the page.
namespace pagrim::extract {

// How widely candidates are looked for: the points tried on each side of a
// value (its own edge and the tag edges next to it), and how far a marker
// grows from the shortest: to the edges of this many tags, to this many runs
// of white space (so indentation that varies stays out of it) and to this
// many quoted attribute values (so one that varies does).
struct Breadth
{
    int cutPoints = 0;
    int tags = 0;
    int blanks = 0;
    int quotes = 0;
};

// Adds to starts and ends the candidate markers for the value at place in
// page, as widely as breadth allows.
void AddCandidateMarkers(const QByteArray& page, const ShownPlace& place, int codePage,
                         const Breadth& breadth, std::vector<QByteArray>& starts,
                         std::vector<QByteArray>& ends);

} // namespace pagrim::extract
