#pragma once
// Files and folders dropped on the input list: which SEG-2 recordings they add. A file
// counts as SEG-2 by its first bytes (the file block id), whatever its name.

#include <string>
#include <vector>

namespace quarvent {

struct DropContents {
    std::vector<std::string> recordings;  // in the order they join the list
    int left_out = 0;                     // files that are not SEG-2 recordings
};

// True when one of the dropped folders holds a folder of its own.
bool drop_has_subfolders(const std::vector<std::string>& dropped);

// The dropped items in natural name order (digits by their value: 9.sg2 before 10.sg2);
// each folder adds the recordings inside it sorted so by name (with include_subfolders,
// those of every folder below it too, sorted so by their paths).
DropContents drop_contents(const std::vector<std::string>& dropped, bool include_subfolders);

}  // namespace quarvent
