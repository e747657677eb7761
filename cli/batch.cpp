// Converting many files into one folder: the plan (each input's output, the ones that may
// not run), the workers' settings and the policy: a failed file does not stop the others,
// and a worker that dies costs only the file it was converting. The processes themselves
// are workers.cpp's.
#include <algorithm>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/workers.h"
#include "orvi/batch.h"

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

std::vector<Job> plan(const Settings& options, const std::vector<std::string>& files) {
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

std::string stop_sentence(const Job& job, pid_t worker, int status) {
    if (WIFSIGNALED(status)) {
        orvi::remove_leftover_temps(job.out, worker);
        return "cannot convert " + quoted(job.in) + ": the work stopped on signal " +
               std::to_string(WTERMSIG(status));
    }
    return "cannot convert " + quoted(job.in);
}

} // namespace

int convert_batch(const Settings& options, const std::vector<std::string>& files) {
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
    Settings worker_options = options;
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
    BatchBar bar(show_progress(options.quiet, options.progress), jobs.size());
    std::vector<size_t> waiting; // jobs whose worker died before taking them
    size_t next = 0;
    size_t done = 0;
    size_t failed = 0;
    size_t incomplete = 0;
    const auto fail = [&](const std::string& sentence) {
        bar.break_line();
        complain(sentence);
        ++failed;
        bar.update(++done);
    };
    // A worker's library and modules are opened once, on its first file: the modules set
    // their globals at the start of every call, so one process serves any number.
    std::optional<orvi::Library> worker_library;
    WorkerEvents events;
    events.serve = [&](uint64_t index) -> Served {
        if (index >= jobs.size()) {
            return {Outcome::NotConverted, "no such job"};
        }
        if (!worker_library) {
            worker_library.emplace(library_options(
                worker_options.max_pixels, worker_options.memory_limit, worker_options.threads));
        }
        std::string error;
        bool gaps = false;
        try {
            if (!convert_one(*worker_library, worker_options, jobs[index].in, jobs[index].out,
                             false, error, &gaps)) {
                return {Outcome::NotConverted, error};
            }
        } catch (const std::bad_alloc&) {
            return {Outcome::NotConverted, "cannot convert " + shown_name(jobs[index].in, false) +
                                               ": there is not enough memory to go on"};
        }
        return {gaps ? Outcome::ConvertedWithGaps : Outcome::Converted, ""};
    };
    // The next job to hand out, past the refused ones (each failed as it is passed).
    events.next = [&]() -> std::optional<size_t> {
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
        }
        return std::nullopt;
    };
    events.answered = [&](size_t /*index*/, const Served& served) {
        if (served.outcome == Outcome::NotConverted) {
            fail(served.sentence);
            return;
        }
        incomplete += served.outcome == Outcome::ConvertedWithGaps ? 1 : 0;
        bar.update(++done);
    };
    // The first file a dead worker held is the one it was converting (a module crashing
    // on a hostile file), which fails; the others wait for another worker.
    events.died = [&](const std::deque<size_t>& held, pid_t pid, int status) {
        fail(stop_sentence(jobs[held.front()], pid, status));
        waiting.insert(waiting.end(), held.begin() + 1, held.end());
    };
    events.again = [&](size_t index) { waiting.push_back(index); };
    events.not_started = [&](size_t index, const std::string& why) {
        fail("cannot convert " + quoted(jobs[index].in) + ": no worker (" + why + ")");
    };
    run_workers(count, events);
    bar.break_line();
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
