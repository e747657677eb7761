#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds examples/library against the
# installed package (CMake's find_package and pkg-config), and runs both programs.
set -euo pipefail
build=$1
source=$2
flags=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
"$work/prefix/bin/orvi" demo "$work/demo" >/dev/null
cmake -S "$source/examples/library" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$work/example" >/dev/null
"$work/example/orvi_example" "$work/demo/sample-3bit.iff" "$work/turned.png"
"$work/prefix/bin/orvi" info "$work/turned.png" | grep -q "PNG, 64 x 96"
if command -v pkg-config >/dev/null; then
    export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
    # shellcheck disable=SC2046
    g++ $flags -o "$work/by_pkg_config" "$source/examples/library/main.cpp" \
        $(pkg-config --cflags --libs orvi)
    # It starts without LD_LIBRARY_PATH: the pkg-config file gives the library's folder as
    # its run path. What it says of the file is what `orvi info` says.
    env -u LD_LIBRARY_PATH "$work/by_pkg_config" "$work/demo/sample.pcx" "$work/b.ppm" >"$work/said"
    grep -qx "$work/demo/sample.pcx: PCX, 96 x 64, 24 bits per pixel in the file, .*" "$work/said"
    if grep -q "PCX.*PCX" "$work/said"; then
        echo "the example names the format twice:"; cat "$work/said"; exit 1
    fi
else
    echo "pkg-config is absent: the pkg-config build is not tried"
fi
# The Python package, installed below the prefix, for Debian's interpreter.
if [ -d "$work/prefix/lib/python3/dist-packages/orvi" ] && [ -z "$flags" ]; then
    PYTHONPATH="$work/prefix/lib/python3/dist-packages" /usr/bin/python3 -c "
import orvi
image = orvi.load('$work/demo/sample.iff')
assert image.pixels.shape == (64, 96, 3), image.pixels.shape"
fi
echo "the installed library builds and runs"
