#!/bin/sh
# install_test.sh BUILD SOURCE CXX: installs BUILD as `make install` does
# (DESTDIR staging, PREFIX /opt/qvt), then builds and runs programs outside
# the tree against the installed library.
set -eu
build=$1 src=$2 cxx=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/qvt-install-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

DESTDIR="$work/stage" cmake --install "$build" --prefix /opt/qvt >"$work/install.log" || {
  cat "$work/install.log" >&2; fail "cmake --install failed"; }
root="$work/stage/opt/qvt"
for f in bin/qvt lib/qvt/QVT.ovp lib/qvt/qvtEd.htd include/qvt/transition.h lib/libqvt.so lib/libqvtplatform.so \
         lib/cmake/qvt/qvtConfig.cmake lib/pkgconfig/qvt.pc; do
  [ -e "$root/$f" ] || fail "$f was not installed"
done

# The outside project, with the README's example program.
cp -r "$src/tests/install/consumer" "$work/consumer"
awk '/^## Library/ { lib = 1 } lib && /^```cpp/ { code = 1; next } code && /^```/ { exit } code { print }' \
  "$src/README.md" >"$work/consumer/example.cpp"
[ -s "$work/consumer/example.cpp" ] || fail "README.md has no example program under '## Library'"

cmake -S "$work/consumer" -B "$work/consumer-build" -DCMAKE_PREFIX_PATH="$root" -DCMAKE_CXX_COMPILER="$cxx" \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; fail "find_package(qvt) failed"; }
cmake --build "$work/consumer-build" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "build failed"; }
"$work/consumer-build/check_frame" || fail "check_frame failed"
"$work/consumer-build/example" >"$work/example.out" || fail "the README example failed"
[ "$(wc -l <"$work/example.out")" -eq 25 ] || fail "the README example printed $(wc -l <"$work/example.out") lines, not 25"

# pkg-config, as the README shows it.
export PKG_CONFIG_PATH="$root/lib/pkgconfig"
# shellcheck disable=SC2046
"$cxx" -std=c++17 "$work/consumer/example.cpp" -o "$work/example-pc" $(pkg-config --cflags --libs qvt) \
  -Wl,-rpath,"$(pkg-config --variable=libdir qvt)" || fail "build with pkg-config failed"
"$work/example-pc" | cmp -s - "$work/example.out" || fail "the pkg-config build printed something else"

# The installed program finds its modules, also once the tree has moved.
"$root/bin/qvt" about >/dev/null || fail "installed qvt about failed"
mv "$work/stage/opt/qvt" "$work/moved"
"$work/moved/bin/qvt" about >/dev/null || fail "moved qvt about failed"
"$work/moved/bin/qvt" render --size 32x24 --at 50% -o "$work/still.png" >/dev/null || fail "moved qvt render failed"
echo "install test: passed"
