// Converting many files into one folder. Each file is converted in a process of its
// own (the modules keep their state in globals, so a process serves one job at a
// time), at most one per core at once; a failed file does not stop the others.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
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

// A worker's message: the job's index and the sentence's length, then the sentence,
// in one write below PIPE_BUF, so that messages of different workers never mix and no
// byte of a sentence (a file name may hold any) can be taken for framing.
struct MessageHead {
    uint64_t index;
    uint32_t length;
};
constexpr size_t kMostSentence = PIPE_BUF - sizeof(MessageHead);

// The sentences of failed jobs, as the workers send them.
class Messages {
public:
    explicit Messages(int fd) : fd_(fd) {}
    // Reads what has arrived; a worker writes its message before it ends, so after
    // reaping a worker its message is here.
    void collect() {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(fd_, buffer, sizeof buffer)) > 0) {
            pending_.append(buffer, static_cast<size_t>(got));
        }
        MessageHead head{};
        while (pending_.size() >= sizeof head) {
            std::memcpy(&head, pending_.data(), sizeof head);
            if (head.length > kMostSentence) {
                pending_.clear(); // not a message of ours: nothing after it can be trusted
                return;
            }
            if (pending_.size() < sizeof head + head.length) {
                return;
            }
            sentences_[head.index] = pending_.substr(sizeof head, head.length);
            pending_.erase(0, sizeof head + head.length);
        }
    }
    [[nodiscard]] std::string take(size_t index) {
        const auto found = sentences_.find(index);
        return found == sentences_.end() ? "" : found->second;
    }

private:
    int fd_;
    std::string pending_;
    std::map<size_t, std::string> sentences_;
};

// A worker's exit status for a file converted from a file whose data left gaps.
constexpr int kExitIncomplete = 3;

[[noreturn]] void work(const ConvertOptions& options, const Job& job, size_t index, int messages) {
    std::string error;
    orvi::Library library(
        library_options(options.max_pixels, options.memory_limit, options.threads));
    bool incomplete = false;
    const bool done = convert_one(library, options, job.in, job.out, false, error, &incomplete);
    if (!done) {
        const MessageHead head{index, static_cast<uint32_t>(std::min(error.size(), kMostSentence))};
        char message[PIPE_BUF];
        std::memcpy(message, &head, sizeof head);
        std::memcpy(message + sizeof head, error.data(), head.length);
        (void)!::write(messages, message, sizeof head + head.length);
    }
    ::_exit(!done ? kExitFailed : incomplete ? kExitIncomplete : kExitOk);
}

std::string stop_sentence(const Job& job, pid_t worker, int status) {
    if (WIFSIGNALED(status)) {
        orvi::remove_leftover_temps(job.out, worker);
        return "cannot convert " + quoted(job.in) + ": the work stopped on signal " +
               std::to_string(WTERMSIG(status));
    }
    return "cannot convert " + quoted(job.in);
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
    const size_t workers = std::min<size_t>(
        options.jobs != 0 ? options.jobs : static_cast<size_t>(std::max(cores, 1L)), jobs.size());
    // The workers share the byte limit one process would have, so that hostile files
    // converted side by side cannot take more memory together than one could alone.
    ConvertOptions worker_options = options;
    worker_options.memory_limit = orvi::default_memory_limit() / std::max<size_t>(workers, 1);
    // Workers side by side already keep the cores busy; one alone may use them all.
    if (options.threads == 0 && workers > 1) {
        worker_options.threads = 1;
    }
    // What killed runs left in the folder is swept once here rather than by every save.
    worker_options.sweep_leftovers = false;
    orvi::remove_stale_temps(options.out_dir);
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        complain(std::string("cannot start the workers (") + std::strerror(errno) + ")");
        return kExitFailed;
    }
    (void)::fcntl(channel[0], F_SETFL, O_NONBLOCK);
    Messages messages(channel[0]);
    BatchProgress bar(show_progress(options.quiet, options.progress), jobs.size());
    std::map<pid_t, size_t> running;
    size_t next = 0;
    size_t done = 0;
    size_t failed = 0;
    size_t incomplete = 0;
    auto fail = [&](const std::string& sentence) {
        bar.break_line();
        complain(sentence);
        ++failed;
    };
    while (done < jobs.size()) {
        while (running.size() < workers && next < jobs.size()) {
            const size_t index = next++;
            if (!jobs[index].refusal.empty()) {
                fail(jobs[index].refusal);
                ++done;
                continue;
            }
            std::fflush(nullptr);
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(channel[0]);
                work(worker_options, jobs[index], index, channel[1]);
            }
            if (pid < 0) {
                fail("cannot convert " + quoted(jobs[index].in) + ": no worker (" +
                     std::strerror(errno) + ")");
                ++done;
                continue;
            }
            running[pid] = index;
        }
        if (running.empty()) {
            bar.update(done);
            continue;
        }
        int wait_status = 0;
        const pid_t pid = ::waitpid(-1, &wait_status, 0);
        if (pid < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        const auto found = running.find(pid);
        if (found == running.end()) {
            continue;
        }
        const size_t index = found->second;
        running.erase(found);
        ++done;
        if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == kExitIncomplete) {
            ++incomplete;
        } else if (!WIFEXITED(wait_status) || WEXITSTATUS(wait_status) != kExitOk) {
            messages.collect();
            const std::string sentence = messages.take(index);
            fail(sentence.empty() ? stop_sentence(jobs[index], pid, wait_status) : sentence);
        }
        bar.update(done);
    }
    bar.break_line();
    ::close(channel[0]);
    ::close(channel[1]);
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
