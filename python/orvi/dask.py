"""Converting many files on a Dask cluster: one task a file, each conversion in a child
process of its worker, so that a file that crashes a module costs that file only.

    from distributed import Client
    import orvi.dask
    results = orvi.dask.convert(paths, to="png", out_dir="png", client=Client("scheduler:8786"))

Each result is (file, output, status, sentence): status "converted", "incomplete" (the
file's data left gaps, which the sentence names) or "failed" (nothing was written).
"""
import collections
import os

from . import _orvi

Result = collections.namedtuple("Result", "file output status sentence")


def _output_for(path, to, out_dir):
    stem = os.path.basename(path)
    if "." in stem[1:]:
        stem = stem[:stem.rindex(".")]
    return os.path.join(out_dir, stem + "." + to)


def convert_one(path, to, out_dir, options, module_folder=None):
    """Converts one file in a child process; the Result. Runs on a worker."""
    output = _output_for(path, to, out_dir)
    reading, writing = os.pipe()
    child = os.fork()
    if child == 0:
        os.close(reading)
        try:
            if module_folder is not None:
                _orvi.configure(module_folder=module_folder)
            image = _orvi.load(path)
            _orvi.save(image, output, format=to, **options)
            message = "incomplete\t" + "; ".join(image.gaps) if not image.complete else "converted\t"
        except _orvi.Error as error:
            message = "failed\t" + error.sentence
        except Exception as error:  # anything else the child meets is this file's failure
            message = "failed\t" + str(error)
        os.write(writing, message.encode("utf-8", "replace"))
        os._exit(0)
    os.close(writing)
    chunks = []
    while True:
        chunk = os.read(reading, 65536)
        if not chunk:
            break
        chunks.append(chunk)
    os.close(reading)
    _, status = os.waitpid(child, 0)
    if os.WIFSIGNALED(status):
        return Result(path, output, "failed", "the work stopped on signal %d" % os.WTERMSIG(status))
    status_word, _, sentence = b"".join(chunks).decode("utf-8").partition("\t")
    return Result(path, output, status_word or "failed", sentence or "the work ended without a word")


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
            client = Client(processes=True)
    os.makedirs(out_dir, exist_ok=True)
    futures = client.map(convert_one, list(paths), to=to, out_dir=out_dir, options=options,
                         module_folder=module_folder, pure=False, retries=retries)
    results = []
    for path, future in zip(paths, futures):
        try:
            results.append(future.result())
        except Exception as error:  # the task failed on every retry
            results.append(Result(path, _output_for(path, to, out_dir), "failed", str(error)))
    return results
