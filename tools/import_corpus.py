#!/usr/bin/env python3
"""Copies the files of ../shared/corpus whose licences let them travel with the project
into tests/data/corpus/<format>/, and writes tests/data/corpus/MANIFEST.md: each file's
origin and licence, and the files left out with the reason. Run from the project's root
when the shared corpus changes; the tests read the copy, and the shared folder only for
the files left out."""
import pathlib
import shutil
import sys

SHARED = pathlib.Path("../shared/corpus")
TARGET = pathlib.Path("tests/data/corpus")

# Sources whose pictures may not be ours to pass on, whatever the repository's licence.
LEFT_OUT = {
    "mdoege/IFFshow": "old Amiga artwork of unstated authorship; the repository's "
                      "public-domain statement cannot speak for the artists",
    "halfbyte/ilbm-decoder": "the picture is credited to its artist (cyclone, Symposium 96), "
                             "not covered by the repository's licence",
    "zigimg/test-suite @ 673b7e6080ff: `fixtures/pcx": "the repository gives the origin of its "
                                                       "PCX fixtures as unknown",
    "zigimg/test-suite @ 673b7e6080ff: `fixtures/netpbm": "the repository gives the origin of "
                                                          "its netpbm fixtures as unknown",
    "zigimg/test-suite @ 673b7e6080ff: `fixtures/pam": "the repository gives the origin of its "
                                                       "netpbm fixtures as unknown",
}


def rows():
    """(folder, file, source, licence) for every file of the shared manifest."""
    folder = None
    for line in (SHARED / "MANIFEST.md").read_text().splitlines():
        if line.startswith("## ") and "`" in line:
            folder = line.split("`")[1].strip("/")
        if line.startswith("| `") and folder:
            cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
            yield folder, cells[0].strip("`"), cells[-3], cells[-2]


def main():
    if not SHARED.is_dir():
        sys.exit("../shared/corpus is absent")
    kept, left = [], []
    for folder, name, source, licence in rows():
        reason = next((why for prefix, why in LEFT_OUT.items() if source.startswith(prefix)), None)
        if reason:
            left.append((folder, name, source, licence, reason))
            continue
        (TARGET / folder).mkdir(parents=True, exist_ok=True)
        shutil.copyfile(SHARED / folder / name, TARGET / folder / name)
        kept.append((folder, name, source, licence))
    lines = [
        "# The corpus that travels with the project",
        "",
        "Real files written by other people's software, copied from the shared corpus by",
        "`tools/import_corpus.py`, byte for byte. Each comes from the repository named, under",
        "the licence named, which lets it be passed on with its origin stated here; the",
        "repositories' licence texts are in those repositories at the commits named. Files",
        "marked `gen-` were written from ImageMagick's test picture by the tool named.",
        "",
        "| File | Source | Licence |",
        "|---|---|---|",
    ]
    lines += [f"| `{f}/{n}` | {s} | {l} |" for f, n, s, l in kept]
    lines += [
        "",
        "## Left out",
        "",
        "These stay in the shared corpus only; the corpus tests read them from ../shared when",
        "it is there and say they did not when it is not.",
        "",
        "| File | Source | Licence | Why it is left out |",
        "|---|---|---|---|",
    ]
    lines += [f"| `{f}/{n}` | {s} | {l} | {why} |" for f, n, s, l, why in left]
    (TARGET / "MANIFEST.md").write_text("\n".join(lines) + "\n")
    (TARGET / "LEFT_OUT").write_text("".join(f"{f}/{n}\n" for f, n, _, _, _ in left))
    print(f"{len(kept)} files copied, {len(left)} left out")


if __name__ == "__main__":
    main()
