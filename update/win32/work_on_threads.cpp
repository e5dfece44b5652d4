#include "win32/work_on_threads.hpp"

#include "common/core/trace.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>

#include <atomic>
#include <memory>

namespace update {
namespace {

using common::Result;

struct WorkQueue {
    std::size_t count;
    const IndexWork& work;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
};

struct Worker {
    WorkQueue* queue = nullptr;
    std::size_t number = 0;
    Result<> result;
    common::win32::UniqueHandle thread;
};

DWORD WINAPI workFromQueue(void* parameter) noexcept {
    Worker& worker = *static_cast<Worker*>(parameter);
    WorkQueue& queue = *worker.queue;
    try {
        for (std::size_t i = queue.next++; worker.result && i < queue.count && !queue.stop;
             i = queue.next++) {
            worker.result = queue.work(i, worker.number);
        }
    } catch (...) {  // memory the work could not have
        worker.result = common::stopFailure(L"workOnThreads", L"out of memory");
    }
    if (!worker.result) queue.stop = true;
    return 0;
}

}  // namespace

Result<> workOnThreads(std::size_t count, std::size_t threads, const IndexWork& work) {
    WorkQueue queue{count, work};
    const auto workers = std::make_unique<Worker[]>(threads + 1);
    for (std::size_t i = 1; i <= threads; ++i) {
        workers[i].queue = &queue;
        workers[i].number = i;
        workers[i].thread.reset(CreateThread(nullptr, 64 * 1024, &workFromQueue, &workers[i],
                                             STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    }
    workers[0].queue = &queue;
    workFromQueue(&workers[0]);
    // They work on this frame's queue until they end.
    for (std::size_t i = 1; i <= threads; ++i) {
        if (workers[i].thread) WaitForSingleObject(workers[i].thread.get(), INFINITE);
    }
    common::FirstFailure outcome;
    for (std::size_t i = 0; i <= threads; ++i) outcome.add(std::move(workers[i].result));
    return std::move(outcome).result();
}

}  // namespace update
