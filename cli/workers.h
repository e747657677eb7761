// The worker processes of a batch: forked once each, fed job after job through a pipe,
// answering through another, and replaced when one dies. What the jobs are, which comes
// next and what a death costs are the caller's (batch.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace cli {

enum class Outcome : uint32_t { Converted, ConvertedWithGaps, NotConverted };

// What a worker's job came to, and the sentence of a failure.
struct Served {
    Outcome outcome = Outcome::Converted;
    std::string sentence;
};

struct WorkerEvents {
    // In a worker process: carries out job `index`.
    std::function<Served(uint64_t index)> serve;
    // In the parent: the next job for a worker, or nothing when none is left now.
    std::function<std::optional<size_t>()> next;
    // A job's answer.
    std::function<void(size_t index, const Served& served)> answered;
    // A worker died holding `held` (the first is the job it was on), with its process id
    // and wait status; another takes its place for what comes next.
    std::function<void(const std::deque<size_t>& held, pid_t pid, int status)> died;
    // Job `index` was never taken (its worker had died): it is to be given again.
    std::function<void(size_t index)> again;
    // No worker could be started for job `index`, for the reason given.
    std::function<void(size_t index, const std::string& why)> not_started;
};

// Runs jobs in `count` worker processes until `next` gives none and every job given is
// answered or lost with its worker. A worker holds two jobs at once, so that it never
// waits for the parent between them.
void run_workers(size_t count, const WorkerEvents& events);

} // namespace cli
