#!/usr/bin/env bash
# The toolkit as a user gets it: `cmake --install` of the build into a fresh
# prefix, then programs built against that prefix alone.
#  - the prefix holds the two public toolkit headers (not the model's), the
#    shared and static libraries, the CMake package and the pkg-config file;
#  - a C99 program builds with pkg-config's flags against the shared and
#    against the static library, and runs;
#  - the example receiver model of examples/ (when present) builds with its
#    own CMakeLists.txt through find_package(KestromAMI), exports only the
#    IBIS-AMI entry points, and runs in the stand-in simulator.
# Usage: installed_toolkit_test.sh BUILD_DIR SOURCE_DIR ARCH(32|64) C_COMPILER AMISIM
set -uo pipefail
build=$1
source=$2
arch=$3
cc=$4
amisim=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
passed=0
failed=0
check() {
    local what=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
        sed 's/^/    /' "$work/out" | head -40
    fi
}

check "cmake --install into a fresh prefix" cmake --install "$build" --prefix "$prefix"
libdir=lib
[ "$arch" = 32 ] && libdir=lib32
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
expected=$(sort <<EOT
include/KestromAMI/IBIS_AMI_tree.h
include/KestromAMI/Kestrom_AMI_Model.h
$libdir/cmake/KestromAMI/KestromAMIConfig.cmake
$libdir/cmake/KestromAMI/KestromAMIConfigVersion.cmake
$libdir/cmake/KestromAMI/KestromAMITargets-release.cmake
$libdir/cmake/KestromAMI/KestromAMITargets.cmake
$libdir/libkestrom_ami.a
$libdir/libkestrom_ami.so
$libdir/libkestrom_ami.so.1
$libdir/libkestrom_ami.so.1.0.0
$libdir/pkgconfig/kestrom-ami.pc
EOT
)
check "the prefix holds exactly the toolkit's files" diff <(echo "$expected") <(echo "$installed")

export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
flags=(-std=c99 -pedantic-errors -Wall -Wextra -Werror -m"$arch")
cflags=$(pkg-config --cflags kestrom-ami)
consumer=$source/tests/installed_toolkit_consumer.c
# shellcheck disable=SC2046,SC2086
check "pkg-config: C99 program against the shared library" \
    "$cc" "${flags[@]}" $cflags "$consumer" -o "$work/shared" $(pkg-config --libs kestrom-ami) -lm
check "the shared build runs" env LD_LIBRARY_PATH="$prefix/$libdir" "$work/shared"
check "the shared build needs libkestrom_ami.so.1" \
    bash -c "readelf -d '$work/shared' | grep -q 'NEEDED.*libkestrom_ami.so.1'"
libs_static=$(pkg-config --libs --static kestrom-ami | sed 's/-lkestrom_ami/-l:libkestrom_ami.a/')
# shellcheck disable=SC2086
check "pkg-config: C99 program against the static library" \
    "$cc" "${flags[@]}" $cflags "$consumer" -o "$work/static" $libs_static
check "the static build runs" "$work/static"

echo "installed toolkit: $passed passed, $failed failed"
[ $failed -eq 0 ]
