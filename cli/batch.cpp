// Converting many files into one folder. Worker processes, one per core, each convert
// file after file (the modules keep their state in globals, so a process serves one job
// at a time); a failed file does not stop the others, and a worker that dies costs only
// the file it was converting.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/commands.h"

namespace cli {

using orvi::quoted;
namespace {

struct Job {
    std::string in;
    std::string out;
    std::string refusal; // set when the job must not run
};

// The output of `in` in `folder`: its name without folders and extension, then `extension`.
std::string output_for(const std::string& in, const std::string& folder,
                       const std::string& extension) {
    const size_t slash = in.rfind('/');
    std::string base = slash == std::string::npos ? in : in.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        base.resize(dot);
    }
    return folder + (folder.ends_with('/') ? "" : "/") + base + "." + extension;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::vector<Job> plan(const ConvertOptions& options, const std::vector<std::string>& files) {
    std::vector<Job> jobs;
    std::map<std::string, std::string> taken; // output -> the input that takes it
    for (const std::string& in : files) {
        Job job{in, output_for(in, options.out_dir, options.to), ""};
        if (const auto [at, fresh] = taken.emplace(job.out, in); !fresh) {
            job.refusal = "cannot convert " + quoted(in) + ": " + quoted(job.out) +
                          " is the output of " + quoted(at->second) + " already";
        } else if (same_file(in, job.out)) {
            job.refusal = "cannot convert " + quoted(in) + " onto itself";
        }
        jobs.push_back(job);
    }
    return jobs;
}

// The overall bar: "converting [####......] 12/200".
class BatchProgress {
public:
    BatchProgress(bool enabled, size_t total) : enabled_(enabled), total_(total) {}
    void update(size_t done) {
        if (!enabled_) {
            return;
        }
        constexpr size_t kWidth = 30;
        const size_t filled = done * kWidth / total_;
        std::fprintf(stderr, "\rconverting [%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '.').c_str(), done, total_);
        std::fflush(stderr);
        drawn_ = true;
    }
    // Leaves the bar's line so that a sentence can be printed.
    void break_line() {
        if (drawn_) {
            std::fputc('\n', stderr);
            drawn_ = false;
        }
    }

private:
    bool enabled_;
    size_t total_;
    bool drawn_ = false;
};

// A worker's answer for one file: the job's index, how it ended and the sentence's
// length, then the sentence, in one write, so that no byte of a sentence (a file name
// may hold any) can be taken for framing.
struct AnswerHead {
    uint64_t index;
    uint32_t outcome;
    uint32_t length;
};
enum Outcome : uint32_t { kConverted = 0, kConvertedWithGaps = 1, kNotConverted = 2 };
constexpr size_t kMostSentence = PIPE_BUF - sizeof(AnswerHead);

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

// A worker: one process that converts file after file, each job's index read from
// `orders` and each answer written to `answers`, until its orders end. The modules set
// their globals at the start of every call, so one process serves any number of files;
// the library and its modules are opened once.
[[noreturn]] void serve(const ConvertOptions& options, const std::vector<Job>& jobs, int orders,
                        int answers) {
    orvi::Library library(
        library_options(options.max_pixels, options.memory_limit, options.threads));
    uint64_t index = 0;
    while (read_whole(orders, &index, sizeof index) && index < jobs.size()) {
        std::string error;
        bool incomplete = false;
        bool done = false;
        try {
            done = convert_one(library, options, jobs[index].in, jobs[index].out, false, error,
                               &incomplete);
        } catch (const std::bad_alloc&) {
            error = "cannot convert " + shown_name(jobs[index].in, false) +
                    ": there is not enough memory to go on";
        }
        const AnswerHead head{
            index,
            !done        ? kNotConverted
            : incomplete ? kConvertedWithGaps
                         : kConverted,
            static_cast<uint32_t>(done ? 0 : std::min(error.size(), kMostSentence))};
        char answer[PIPE_BUF];
        std::memcpy(answer, &head, sizeof head);
        std::memcpy(answer + sizeof head, error.data(), head.length);
        if (::write(answers, answer, sizeof head + head.length) < 0) {
            break;
        }
    }
    ::_exit(kExitOk);
}

std::string stop_sentence(const Job& job, pid_t worker, int status) {
    if (WIFSIGNALED(status)) {
        orvi::remove_leftover_temps(job.out, worker);
        return "cannot convert " + quoted(job.in) + ": the work stopped on signal " +
               std::to_string(WTERMSIG(status));
    }
    return "cannot convert " + quoted(job.in);
}

// The files a worker holds at once: the one it converts and the next, so that it never
// waits for the parent between files.
constexpr size_t kHeldFiles = 2;

// The parent's side of one worker.
struct Worker {
    pid_t pid = -1;
    int orders = -1;         // where the parent writes job indices
    int answers = -1;        // where the parent reads the answers
    std::deque<size_t> held; // the jobs sent and not answered, in the order sent
};

// Starts a worker; it keeps no end of any other worker's pipes, so that each sees its
// orders end when the parent closes them. False, saying why, when it cannot start.
bool start_worker(const ConvertOptions& options, const std::vector<Job>& jobs,
                  std::vector<Worker>& workers, Worker& worker, std::string& why) {
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
        serve(options, jobs, orders[0], answers[1]);
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

} // namespace

int convert_batch(const ConvertOptions& options, const std::vector<std::string>& files) {
    if (options.to.empty()) {
        complain("--out-dir needs --to FORMAT");
        return kExitUsage;
    }
    for (const std::string& file : files) {
        if (file == "-") {
            complain("--out-dir converts files by name, not standard input");
            return kExitUsage;
        }
    }
    if (!make_folder(options.out_dir)) {
        return kExitFailed;
    }
    // Opened once here, every module is already in place in each worker.
    orvi::Library library(library_options(options.max_pixels, 0));
    if (const int status = check_steps(library, options); status != kExitOk) {
        return status;
    }
    library.open_modules();
    const std::vector<Job> jobs = plan(options, files);
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    const size_t count = std::min<size_t>(
        options.jobs != 0 ? options.jobs : static_cast<size_t>(std::max(cores, 1L)), jobs.size());
    // The workers share the byte limit one process would have, so that hostile files
    // converted side by side cannot take more memory together than one could alone.
    ConvertOptions worker_options = options;
    worker_options.memory_limit = orvi::default_memory_limit() / std::max<size_t>(count, 1);
    // Workers side by side already keep the cores busy; one alone may use them all.
    if (options.threads == 0 && count > 1) {
        worker_options.threads = 1;
    }
    // What killed runs left in the folder is swept once here rather than by every save.
    worker_options.sweep_leftovers = false;
    // Each output is flushed before it takes its name; the folder, which holds the names,
    // is flushed once when every worker is done.
    worker_options.flush_folder = false;
    orvi::remove_stale_temps(options.out_dir);
    // A worker that died leaves its orders pipe without a reader: writing to it must
    // fail, not stop the batch.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    BatchProgress bar(show_progress(options.quiet, options.progress), jobs.size());
    std::vector<Worker> workers(count);
    std::vector<size_t> waiting; // jobs whose worker died before taking them
    size_t next = 0;
    size_t done = 0;
    size_t failed = 0;
    size_t incomplete = 0;
    auto fail = [&](const std::string& sentence) {
        bar.break_line();
        complain(sentence);
        ++failed;
    };
    // The next job to hand out, past the refused ones (each failed as it is passed).
    auto take_job = [&]() -> std::optional<size_t> {
        if (!waiting.empty()) {
            const size_t index = waiting.back();
            waiting.pop_back();
            return index;
        }
        while (next < jobs.size()) {
            const size_t index = next++;
            if (jobs[index].refusal.empty()) {
                return index;
            }
            fail(jobs[index].refusal);
            ++done;
            bar.update(done);
        }
        return std::nullopt;
    };
    // A worker that died: the first file it held is the one it was converting (a module
    // crashing on a hostile file), which fails; the others wait for another worker.
    auto bury = [&](Worker& worker) {
        int status = 0;
        while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!worker.held.empty()) {
            fail(stop_sentence(jobs[worker.held.front()], worker.pid, status));
            ++done;
            bar.update(done);
            waiting.insert(waiting.end(), worker.held.begin() + 1, worker.held.end());
        }
        stop_worker(worker);
    };
    std::string start_failure;
    while (done < jobs.size()) {
        for (Worker& worker : workers) {
            while (worker.held.size() < kHeldFiles) {
                const std::optional<size_t> index = take_job();
                if (!index) {
                    break;
                }
                if (worker.pid < 0 &&
                    !start_worker(worker_options, jobs, workers, worker, start_failure)) {
                    fail("cannot convert " + quoted(jobs[*index].in) + ": no worker (" +
                         start_failure + ")");
                    ++done;
                    continue;
                }
                const uint64_t order = *index;
                if (::write(worker.orders, &order, sizeof order) != sizeof order) {
                    waiting.push_back(*index);
                    bury(worker);
                    break;
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
            continue;
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
                if (head.outcome == kNotConverted) {
                    fail(std::string(sentence, head.length));
                } else if (head.outcome == kConvertedWithGaps) {
                    ++incomplete;
                }
                worker.held.pop_front();
                ++done;
                bar.update(done);
            } else {
                bury(worker); // no answer: it died, and another takes its place
            }
        }
    }
    bar.break_line();
    for (Worker& worker : workers) {
        if (worker.pid > 0) {
            const pid_t pid = worker.pid;
            stop_worker(worker);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    if (std::string why; done > failed && !orvi::flush_folder(options.out_dir, why)) {
        complain("the converted files may not survive a power cut: " + why);
        return kExitFailed;
    }
    if (incomplete > 0) {
        complain(std::to_string(incomplete) + " of " + std::to_string(jobs.size()) +
                 " files converted from incomplete data (see the warnings)");
    }
    if (failed > 0) {
        complain(std::to_string(failed) + " of " + std::to_string(jobs.size()) +
                 " files not converted");
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace cli
