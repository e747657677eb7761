"""Converting many files on a Dask cluster: one task a file, each conversion in a helper
process of its worker, so that a file that crashes a module costs that file only.

    from distributed import Client
    import orvi.dask
    results = orvi.dask.convert(paths, to="png", out_dir="png", client=Client("scheduler:8786"))

Each result is (file, output, status, sentence): status "converted", "incomplete" (the
file's data left gaps, which the sentence names) or "failed" (nothing was written).

A file takes a few milliseconds, about as long as Dask's own work for a task, so a cluster
made for this should have the scheduler hand each worker its tasks at once and the
workers not sample their own stacks: SETTINGS, for `dask.config.set(orvi.dask.SETTINGS)`
before the cluster starts (or DASK_DISTRIBUTED__SCHEDULER__WORKER_SATURATION=inf and
DASK_DISTRIBUTED__WORKER__PROFILE__ENABLED=False in the environment of `dask scheduler`
and `dask worker`). `convert` uses them for the local cluster it makes itself.
"""
import collections
import json
import os
import stat
import subprocess
import sys
import threading

from . import _orvi

Result = collections.namedtuple("Result", "file output status sentence")

SETTINGS = {"distributed.scheduler.worker-saturation": float("inf"),
            "distributed.worker.profile.enabled": False}


def _output_for(path, to, out_dir):
    stem = os.path.basename(path)
    if "." in stem[1:]:
        stem = stem[:stem.rindex(".")]
    return os.path.join(out_dir, stem + "." + to)


def _refusal(path, output):
    """Why `path` is not converted to `output` here, or None: what is not a regular file
    (a pipe or a device could keep the worker waiting for ever), or a file onto itself."""
    try:
        status = os.stat(path)
    except OSError:
        return None  # the load says what is wrong with it
    if not stat.S_ISREG(status.st_mode):
        return "it is not a regular file (a pipe, a device or a folder), which is not read here"
    try:
        if os.path.samefile(path, output):
            return "it would be converted onto itself"
    except OSError:
        pass  # no output yet
    return None


def _convert_here(path, output, to, options):
    """Converts one file in this process; the status word and sentence."""
    refusal = _refusal(path, output)
    if refusal is not None:
        return "failed", refusal
    try:
        image = _orvi.load(path, details=False)
        _orvi.save(image, output, format=to, **options)
        if not image.complete:
            return "incomplete", "; ".join(image.gaps)
        return "converted", ""
    except _orvi.Error as error:
        return "failed", error.sentence
    except Exception as error:  # anything else met here is this file's failure
        return "failed", str(error)


def _serve():
    """The helper's loop: a JSON request a line on standard input, a JSON answer a line on
    the answer pipe (standard output itself goes to standard error, so that nothing a
    module prints can be taken for an answer)."""
    answers = os.fdopen(os.dup(1), "w", buffering=1)
    os.dup2(2, 1)
    for line in sys.stdin:
        request = json.loads(line)
        if request.get("module_folder"):
            _orvi.configure(module_folder=request["module_folder"])
        status, sentence = _convert_here(request["path"], request["output"], request["to"],
                                         request["options"])
        answers.write(json.dumps([status, sentence]) + "\n")


class _Helper:
    """A process that converts file after file for one thread of a worker: starting a
    process costs more than converting a small picture, so one serves until a file kills
    it, and that file alone is reported failed."""

    def __init__(self):
        package_parent = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        environment = dict(os.environ)
        environment["PYTHONPATH"] = os.pathsep.join(
            [package_parent] + [p for p in [environment.get("PYTHONPATH")] if p])
        self.process = subprocess.Popen(
            [sys.executable, "-c", "from orvi.dask import _serve; _serve()"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=environment, text=True)

    def convert(self, request):
        """The (status, sentence) of one conversion; raises OSError when the helper died."""
        try:
            self.process.stdin.write(json.dumps(request) + "\n")
            self.process.stdin.flush()
        except BrokenPipeError as error:
            raise OSError("the helper is gone") from error
        answer = self.process.stdout.readline()
        if not answer:
            raise OSError("the helper is gone")
        status, sentence = json.loads(answer)
        return status, sentence

    def close(self):
        self.process.stdin.close()
        self.process.stdout.close()
        return self.process.wait()


_helpers = threading.local()


def convert_one(path, to, out_dir, options, module_folder=None):
    """Converts one file in this thread's helper process; the Result. Runs on a worker."""
    output = _output_for(path, to, out_dir)
    helper = getattr(_helpers, "helper", None)
    if helper is None:
        helper = _helpers.helper = _Helper()
    request = {"path": path, "output": output, "to": to, "options": options,
               "module_folder": module_folder}
    try:
        status, sentence = helper.convert(request)
    except OSError:
        _helpers.helper = None
        code = helper.close()
        if code < 0:
            return Result(path, output, "failed", "the work stopped on signal %d" % -code)
        return Result(path, output, "failed", "the work ended without a word")
    return Result(path, output, status, sentence)


def convert(paths, to="png", out_dir=".", client=None, retries=2, module_folder=None, **options):
    """Converts `paths` into `out_dir` as `to` files on a Dask cluster (the given client,
    else the current one, else a local cluster of one worker process a core), one task a
    file, retrying a task whose worker died; returns a Result for each file, in order.
    `module_folder` is where the workers find orvi's modules when not beside the library;
    `options` are orvi.save's (depth, plain, compress, reduce, dither)."""
    from distributed import Client, get_client
    if client is None:
        try:
            client = get_client()
        except ValueError:
            import dask
            with dask.config.set(SETTINGS):
                client = Client(processes=True)
    paths = list(paths)
    os.makedirs(out_dir, exist_ok=True)
    # Two files of one name in different folders would make one output: the first keeps
    # it, the others are refused before anything is written, as the command's batch does.
    owners = {}
    refused = {}
    for index, path in enumerate(paths):
        output = os.path.normpath(_output_for(path, to, out_dir))
        if output in owners:
            refused[index] = "%s is the output of %s already" % (
                _orvi.quoted(_output_for(path, to, out_dir)), _orvi.quoted(paths[owners[output]]))
        else:
            owners[output] = index
    wanted = [path for index, path in enumerate(paths) if index not in refused]
    futures = iter(client.map(convert_one, wanted, to=to, out_dir=out_dir, options=options,
                              module_folder=module_folder, pure=False, retries=retries))
    futures = [None if index in refused else next(futures) for index in range(len(paths))]
    # One gathering for all (asking each future in turn costs a round trip a file); it
    # leaves out the tasks that failed on every retry, in order.
    finished = iter(client.gather([f for f in futures if f is not None], errors="skip"))
    results = []
    for index, (path, future) in enumerate(zip(paths, futures)):
        output = _output_for(path, to, out_dir)
        if future is None:
            results.append(Result(path, output, "failed", refused[index]))
        elif future.status == "finished":
            results.append(Result(*next(finished)))
        else:
            results.append(Result(path, output, "failed", str(future.exception())))
    return results

