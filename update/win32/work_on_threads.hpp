#pragma once

#include "common/core/failure.hpp"

#include <cstddef>
#include <functional>

namespace update {

// What one worker does with one index: `worker` is 0 for the calling
// thread and 1 to `threads` for the others, so a caller may keep state of
// each worker's own (a hash provider, a buffer) in an array.
using IndexWork = std::function<common::Result<>(std::size_t index, std::size_t worker)>;

// Runs the work for every index below `count`, on this thread and on up to
// `threads` more, each taking the next index: waits for the disk overlap,
// where one after another each would wait alone. No index is handed out
// after a failure. Every thread is joined before any result is read; the
// first failure is returned and the others traced. The work is done also
// when no thread could be started.
common::Result<> workOnThreads(std::size_t count, std::size_t threads, const IndexWork& work);

}  // namespace update
