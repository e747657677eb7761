"""The Pillow plug-in (IFF pictures opened and saved, palettes kept) and conversions on a
Dask cluster of two worker processes."""
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest
from PIL import Image

import orvi
import orvi.pillow
from conftest import CORPUS

ILBM = CORPUS / "ilbm"


@pytest.mark.parametrize("name, mode, display", [
    ("ham6-124x124-byterun1.iff", "RGB", "HAM6"),
    ("ham8-131x131-byterun1.iff", "RGB", "HAM8"),
    ("ehb-131x131-pchg.iff", "RGB", "extra half-brite"),  # its palette changes line by line
    ("ehb-320x200-anno-dpi.iff", "P", "extra half-brite"),
    ("24plane-131x131-byterun1.iff", "RGB", "plain"),
    ("4plane-256x256-byterun1.iff", "P", "plain"),
    ("pbm-chunky-112x112-byterun1.iff", "P", "plain"),  # Deluxe Paint's chunky FORM PBM
    ("acbm-8plane-112x112.iff", "P", "plain"),
    ("form-rgb8-131x131.iff", "RGB", "plain"),
])
def test_pillow_opens_ilbm_as_orvi_reads_it(name, mode, display):
    with Image.open(ILBM / name) as image:
        assert image.format == "ILBM"
        assert image.mode == mode
        assert image.info["display_mode"] == display
        np.testing.assert_array_equal(np.asarray(image.convert("RGB")),
                                      orvi.load(ILBM / name).pixels)


def test_pillow_opens_an_lbm_file_and_saves_ilbm(tmp_path):
    lbm = tmp_path / "picture.lbm"
    lbm.write_bytes((ILBM / "4plane-256x256-byterun1.iff").read_bytes())
    with Image.open(lbm) as image:
        assert image.mode == "P" and image.info["planes"] == 4
        image.save(tmp_path / "again.iff")
        original = np.asarray(image.convert("RGB"))
    with Image.open(tmp_path / "again.iff") as again:
        assert again.mode == "P" and again.info["planes"] == 4
        np.testing.assert_array_equal(np.asarray(again.convert("RGB")), original)
    # A picture of 16 colours takes the 4 planes that hold them; depth=24 keeps true colour.
    Image.fromarray(original).save(tmp_path / "true.ilbm")
    assert orvi.load(tmp_path / "true.ilbm").details["planes"] == 4
    orvi.save(original, tmp_path / "deep.ilbm", depth=24)
    assert orvi.load(tmp_path / "deep.ilbm").details["planes"] == 24


def test_register_replace_puts_orvi_in_place_of_pillows_pcx():
    path = CORPUS / "pcx" / "8bit-32x32.pcx"
    with Image.open(path) as own:
        assert "Orvi" not in own.format_description
    orvi.pillow.register(replace=True)
    try:
        with Image.open(path) as ours:
            assert "Orvi" in ours.format_description
    finally:
        from PIL import PcxImagePlugin, PpmImagePlugin, XpmImagePlugin  # Pillow's own again
        Image.register_open("PCX", PcxImagePlugin.PcxImageFile, PcxImagePlugin._accept)
        Image.register_open("PPM", PpmImagePlugin.PpmImageFile, PpmImagePlugin._accept)
        Image.register_open("XPM", XpmImagePlugin.XpmImageFile, XpmImagePlugin._accept)


def test_register_replace_holds_in_a_fresh_interpreter_after_a_failed_open():
    # Pillow imports its own readers lazily (its PPM reader on the first open, the others
    # on the first file it cannot place); neither may come back over Orvi's.
    script = textwrap.dedent("""
        import io
        from PIL import Image, UnidentifiedImageError
        import orvi.pillow
        orvi.pillow.register(replace=True)
        for path in [%r, %r]:
            try:
                Image.open(io.BytesIO(b"neither"))
            except UnidentifiedImageError:
                pass
            with Image.open(path) as image:
                print(image.format_description)
    """ % (str(CORPUS / "pnm" / "p6-16bit-8x8.ppm"), str(CORPUS / "pcx" / "8bit-32x32.pcx")))
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == ["PBM, PGM or PPM (read by Orvi)", "PCX (read by Orvi)"]


@pytest.fixture
def orvi_in_place_of_pillow():
    orvi.pillow.register(replace=True)
    yield
    from PIL import PcxImagePlugin, PpmImagePlugin, XpmImagePlugin  # Pillow's own again
    Image.register_open("PCX", PcxImagePlugin.PcxImageFile, PcxImagePlugin._accept)
    Image.register_open("PPM", PpmImagePlugin.PpmImageFile, PpmImagePlugin._accept)
    Image.register_open("XPM", XpmImagePlugin.XpmImageFile, XpmImagePlugin._accept)


@pytest.mark.parametrize("name, mode", [
    ("8bit-32x32.pcx", "P"),               # 256-colour trailer
    ("8bit-371x150-oddbpl.pcx", "P"),
    ("ega-4x1bit-38x48.pcx", "P"),         # the header's 16 colours
    ("4bit-chunky-32x32.pcx", "P"),
    ("24bit-70x46-with-256-trailer.pcx", "RGB"),  # a trailer a 24-bit picture ignores
    ("mono-88x52.pcx", "P"),                # black and white, as two entries
])
def test_orvis_pcx_reader_in_pillow_keeps_the_palette(orvi_in_place_of_pillow, name, mode):
    path = CORPUS / "pcx" / name
    with Image.open(path) as image:
        assert image.mode == mode
        np.testing.assert_array_equal(np.asarray(image.convert("RGB")), orvi.load(path).pixels)


@pytest.mark.parametrize("palette, pixels, indices", [
    ([[0, 0, 0], [9, 9, 9]], [[9, 9, 9], [0, 0, 0]], [1, 0]),
    ([[5, 6, 7], [1, 2, 3], [5, 6, 7]], [[5, 6, 7], [1, 2, 3]], [0, 1]),  # the first of equals
    ([[0, 0, 0]], [[0, 0, 0], [0, 0, 1]], None),                          # a colour not there
])
def test_palette_indices(palette, pixels, indices):
    found = orvi._orvi.palette_indices(np.array([pixels], np.uint8), np.array(palette, np.uint8))
    if indices is None:
        assert found is None
    else:
        np.testing.assert_array_equal(found, [indices])


@pytest.fixture(scope="module")
def cluster():
    distributed = pytest.importorskip("distributed")
    local = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                     dashboard_address=None, silence_logs=40)
    client = distributed.Client(local)
    yield client
    client.close()
    local.close()


def test_a_cluster_converts_a_folder_and_reports_the_damaged_file(tmp_path, cluster):
    import orvi.dask
    sources = []
    for name in ["ham8-131x131-byterun1.iff", "24plane-131x131-byterun1.iff",
                 "1plane-131x131-byterun1.iff", "ehb-131x131-pchg.iff"]:
        sources.append(str(ILBM / name))
    damaged = tmp_path / "damaged.iff"
    damaged.write_bytes((ILBM / "ham8-131x131-byterun1.iff").read_bytes()[:40])
    sources.append(str(damaged))
    out = tmp_path / "png"
    results = orvi.dask.convert(sources, to="png", out_dir=str(out), client=cluster)
    assert [r.file for r in results] == sources
    for result in results[:-1]:
        assert result.status == "converted", result
        np.testing.assert_array_equal(orvi.load(result.output).pixels, orvi.load(result.file).pixels)
    assert results[-1].status == "failed"
    assert "code" in results[-1].sentence
    assert sorted(os.listdir(out)) == sorted(os.path.basename(r.output) for r in results[:-1])


def test_a_file_that_kills_its_worker_costs_that_file_only(tmp_path, cluster):
    import orvi.dask
    probe = os.environ.get("ORVI_PROBE_DIR")
    if not probe or not os.path.isdir(probe):
        pytest.skip("the stand-in module that kills its process is not built")
    # The stand-in ppm module kills its process on a file whose name holds "crash".
    files = []
    for name in ["crash.ppm", "fine.ppm"]:
        (tmp_path / name).write_bytes(b"P6\n1 1\n255\nabc")
        files.append(str(tmp_path / name))
    results = orvi.dask.convert(files, to="png", out_dir=str(tmp_path / "out"), client=cluster,
                                module_folder=probe)
    assert results[0].status == "failed"
    assert results[0].sentence == "the work stopped on signal 9"
    assert results[1].status == "converted", results[1]
    assert len(cluster.scheduler_info()["workers"]) == 2, "no worker died"


def test_a_helper_killed_by_a_file_is_replaced_for_the_next(tmp_path):
    import orvi.dask
    probe = os.environ.get("ORVI_PROBE_DIR")
    if not probe or not os.path.isdir(probe):
        pytest.skip("the stand-in module that kills its process is not built")
    for name in ["crash.ppm", "fine.ppm"]:
        (tmp_path / name).write_bytes(b"P6\n1 1\n255\nabc")
    out = str(tmp_path / "out")
    os.makedirs(out)
    statuses = [orvi.dask.convert_one(str(tmp_path / name), "png", out, {}, module_folder=probe)
                for name in ["fine.ppm", "crash.ppm", "fine.ppm"]]
    assert [s.status for s in statuses] == ["converted", "failed", "converted"]
    assert statuses[1].sentence == "the work stopped on signal 9"
    assert os.listdir(out) == ["fine.png"]


def test_two_files_of_one_name_are_never_converted_onto_one_output(tmp_path, cluster):
    import orvi.dask
    for folder, colour in [("a", b"abc"), ("b", b"def")]:
        (tmp_path / folder).mkdir()
        (tmp_path / folder / "x.ppm").write_bytes(b"P6\n1 1\n255\n" + colour)
    files = [str(tmp_path / "a" / "x.ppm"), str(tmp_path / "b" / "x.ppm")]
    out = tmp_path / "out"
    results = orvi.dask.convert(files, to="ppm", out_dir=str(out), client=cluster)
    assert [r.status for r in results] == ["converted", "failed"]
    assert results[1].sentence == "'%s' is the output of '%s' already" % (
        results[1].output, files[0])
    assert orvi.load(out / "x.ppm").pixels.tobytes() == b"abc"


def test_a_pipe_among_the_files_is_refused_not_waited_for(tmp_path, cluster):
    import orvi.dask
    pipe = tmp_path / "pipe.ppm"
    os.mkfifo(pipe)
    (tmp_path / "fine.ppm").write_bytes(b"P6\n1 1\n255\nabc")
    files = [str(pipe), str(tmp_path / "fine.ppm")]
    results = orvi.dask.convert(files, to="png", out_dir=str(tmp_path / "out"), client=cluster)
    assert [r.status for r in results] == ["failed", "converted"]
    assert "not a regular file" in results[0].sentence
