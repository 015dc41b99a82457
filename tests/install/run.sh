#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs an example
# against it twice: through the CMake package and through pkg-config.
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
example=$source_dir/examples/errors.c

cmake -S "$source_dir/tests/install" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
      -DEXAMPLE="$example" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$prefix/lib:$prefix/lib64 "$work/cmake-build/consumer" >/dev/null
echo "cmake package: ok"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig:$prefix/lib64/pkgconfig
cc -std=c99 -Wall -Werror "$example" $(pkg-config --cflags --libs zar) -o "$work/pc-consumer"
LD_LIBRARY_PATH=$prefix/lib:$prefix/lib64 "$work/pc-consumer" >/dev/null
echo "pkg-config: ok"
