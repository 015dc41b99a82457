#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds C programs against
# it: an example through the CMake package, shared (zar::zar) and static
# (zar::zar_static); through pkg-config, shared and fully static (--static); and
# the examples folder on its own, from outside the source tree.
set -euo pipefail
build=$1
source_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
example=$source_dir/examples/errors.c
run() { LD_LIBRARY_PATH=$prefix/lib:$prefix/lib64 "$@" >/dev/null; }

for target in zar::zar zar::zar_static; do
  cmake -S "$source_dir/tests/install" -B "$work/$target" -DCMAKE_PREFIX_PATH="$prefix" \
        -DEXAMPLE="$example" -DZAR_TARGET=$target >/dev/null
  cmake --build "$work/$target" >/dev/null
  run "$work/$target/consumer"
  echo "cmake package, $target: ok"
done
if ldd "$work/zar::zar_static/consumer" | grep -q libzar; then
  echo "zar::zar_static linked the shared library" >&2
  exit 1
fi

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig:$prefix/lib64/pkgconfig
cc -std=c99 -Wall -Werror "$example" $(pkg-config --cflags --libs zar) -o "$work/pc-shared"
run "$work/pc-shared"
cc -std=c99 -Wall -Werror -static "$example" $(pkg-config --static --cflags --libs zar) \
   -o "$work/pc-static"
run "$work/pc-static"
echo "pkg-config, shared and static: ok"

cd "$work"
cmake -S "$source_dir/examples" -B "$work/examples" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/examples" >/dev/null
LD_LIBRARY_PATH=$prefix/lib:$prefix/lib64 ctest --test-dir "$work/examples" --output-on-failure >/dev/null
echo "examples built on their own: ok"
