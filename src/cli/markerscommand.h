#pragma once

#include "cli/options.h"

namespace pagrim {
class TaskFolder;
}

namespace pagrim::cli {

class Progress;

// The markers command on a task's saved pages: the sample spread over them
// (the examples' pages among it), the proposed markers as one JSON object on
// standard output. Gives the exit status; why it failed goes to progress.
int SuggestMarkersCommand(const TaskFolder& folder, const RunOptions& options, Progress& progress);

} // namespace pagrim::cli
