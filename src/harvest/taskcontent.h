#pragma once

#include "harvest/core/contentwait.h"

namespace pagrim::store {
class DataSet;
}

namespace pagrim::harvest {

// The content rule of the current task of task (a task query): its
// ContentWait, and, when it has ticked fields, that every one of them cuts a
// value that is not blank out of the document as its page file will hold it.
// A task without a ticked field waits for a steady document.
ContentRule taskContentRule(store::DataSet& task);

} // namespace pagrim::harvest
