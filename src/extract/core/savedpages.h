#pragma once

#include "extract/core/markers.h"

#include <vector>

namespace pagrim {
class TaskFolder;
}

// The saved pages of a task as the marker suggestion reads them.
namespace pagrim::extract {

// The numbers n of the files HTML/<n>.Htm of the task folder, ascending; none
// when the folder does not exist.
std::vector<int> SavedPageNumbers(const TaskFolder& folder);

// Whether the task folder holds a saved page at all; stops at the first.
bool HasSavedPage(const TaskFolder& folder);

// The page text of each numbered page; a file that cannot be read throws its
// file error.
std::vector<SamplePage> LoadSample(const TaskFolder& folder, const std::vector<int>& numbers);

} // namespace pagrim::extract
