// Worker processes: fork, a pipe of orders and a pipe of answers each, poll, and a new
// worker where one died.
#include "cli/workers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace cli {
namespace {

// A worker's answer for one job: its index, how it ended and the sentence's length, then
// the sentence, in one write, so that no byte of a sentence (a file name may hold any)
// can be taken for framing.
struct AnswerHead {
    uint64_t index;
    uint32_t outcome;
    uint32_t length;
};
constexpr size_t kMostSentence = PIPE_BUF - sizeof(AnswerHead);

// The jobs a worker holds at once: the one it works on and the next.
constexpr size_t kHeldJobs = 2;

// Reads `size` bytes; false at the end of the pipe or on an error.
bool read_whole(int fd, void* to, size_t size) {
    auto* bytes = static_cast<uint8_t*>(to);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// A worker process's loop: each job's index read from `orders`, each answer written to
// `answers`, until its orders end.
[[noreturn]] void serve(const WorkerEvents& events, int orders, int answers) {
    uint64_t index = 0;
    while (read_whole(orders, &index, sizeof index)) {
        const Served served = events.serve(index);
        const AnswerHead head{
            index, static_cast<uint32_t>(served.outcome),
            static_cast<uint32_t>(std::min(served.sentence.size(), kMostSentence))};
        char answer[PIPE_BUF];
        std::memcpy(answer, &head, sizeof head);
        std::memcpy(answer + sizeof head, served.sentence.data(), head.length);
        if (::write(answers, answer, sizeof head + head.length) < 0) {
            break;
        }
    }
    ::_exit(0);
}

// The parent's side of one worker.
struct Worker {
    pid_t pid = -1;
    int orders = -1;         // where the parent writes job indices
    int answers = -1;        // where the parent reads the answers
    std::deque<size_t> held; // the jobs sent and not answered, in the order sent
};

// Starts a worker; it keeps no end of any other worker's pipes, so that each sees its
// orders end when the parent closes them. False, saying why, when it cannot start.
bool start_worker(const WorkerEvents& events, const std::vector<Worker>& workers, Worker& worker,
                  std::string& why) {
    int orders[2];
    int answers[2];
    if (::pipe2(orders, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (::pipe2(answers, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        ::close(orders[0]);
        ::close(orders[1]);
        return false;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const Worker& other : workers) {
            if (other.pid > 0) {
                ::close(other.orders);
                ::close(other.answers);
            }
        }
        ::close(orders[1]);
        ::close(answers[0]);
        serve(events, orders[0], answers[1]);
    }
    ::close(orders[0]);
    ::close(answers[1]);
    if (pid < 0) {
        why = std::strerror(errno);
        ::close(orders[1]);
        ::close(answers[0]);
        return false;
    }
    worker = {pid, orders[1], answers[0], {}};
    return true;
}

void stop_worker(Worker& worker) {
    ::close(worker.orders);
    ::close(worker.answers);
    worker = {};
}

// A worker that died: its jobs are the caller's to settle, and its place is free.
void bury(const WorkerEvents& events, Worker& worker) {
    int status = 0;
    while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::deque<size_t> held = worker.held;
    const pid_t pid = worker.pid;
    stop_worker(worker);
    if (!held.empty()) {
        events.died(held, pid, status);
    }
}

} // namespace

void run_workers(size_t count, const WorkerEvents& events) {
    // A worker that died leaves its orders pipe without a reader: writing to it must
    // fail, not stop the batch.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    std::vector<Worker> workers(count);
    std::string start_failure;
    while (true) {
        for (Worker& worker : workers) {
            while (worker.held.size() < kHeldJobs) {
                const std::optional<size_t> index = events.next();
                if (!index) {
                    break;
                }
                if (worker.pid < 0 && !start_worker(events, workers, worker, start_failure)) {
                    events.not_started(*index, start_failure);
                    continue;
                }
                const uint64_t order = *index;
                if (::write(worker.orders, &order, sizeof order) != sizeof order) {
                    events.again(*index); // never taken: a new worker takes it
                    bury(events, worker);
                    continue;
                }
                worker.held.push_back(*index);
            }
        }
        std::vector<pollfd> watched;
        for (const Worker& worker : workers) {
            if (!worker.held.empty()) {
                watched.push_back({worker.answers, POLLIN, 0});
            }
        }
        if (watched.empty()) {
            break; // nothing held, and nothing more to give
        }
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (Worker& worker : workers) {
            const auto seen = std::find_if(watched.begin(), watched.end(), [&](const pollfd& p) {
                return p.fd == worker.answers && p.revents != 0;
            });
            if (worker.held.empty() || seen == watched.end()) {
                continue;
            }
            AnswerHead head{};
            char sentence[kMostSentence];
            if (read_whole(worker.answers, &head, sizeof head) &&
                head.index == worker.held.front() && head.length <= kMostSentence &&
                read_whole(worker.answers, sentence, head.length)) {
                worker.held.pop_front();
                events.answered(head.index, {static_cast<Outcome>(head.outcome),
                                             std::string(sentence, head.length)});
            } else {
                bury(events, worker); // no answer: it died, and another takes its place
            }
        }
    }
    for (Worker& worker : workers) {
        if (worker.pid > 0) {
            const pid_t pid = worker.pid;
            stop_worker(worker);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
}

} // namespace cli
