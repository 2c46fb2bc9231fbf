// The threads a search splits a long scan over: a pool of their own, so that a search
// running inside a job never waits for a thread that jobs hold.
#pragma once

#include <functional>

class QThreadPool;

namespace vorlane {

QThreadPool& scanPool();

// Runs `second` on the scan pool while the calling thread runs `first`, and returns once
// both have ended. When the pool has no thread free by the time `first` is done, the
// caller runs `second` itself, so a call never waits on a busy pool. An exception from
// either is thrown here once both have ended.
void runBeside(const std::function<void()>& first, const std::function<void()>& second);

} // namespace vorlane
