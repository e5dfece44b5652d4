#pragma once

#include <string>

namespace update {

// Removes a folder with everything in it, read-only entries included.
// Links (reparse points) are removed themselves and never followed, so
// whatever they point to is left untouched; a link that cannot be removed
// on its own stays, and the result is false. Returns true when the folder
// is gone.
bool removeFolderTree(const std::wstring& folder);

}  // namespace update
