#!/usr/bin/env bash
# The toolkit as a user gets it: `cmake --install` of the build into a fresh
# prefix, then programs built against that prefix alone.
#  - the prefix holds the two public toolkit headers (not the model's), the
#    shared and static libraries, the CMake package and the pkg-config file;
#  - a C99 program builds with pkg-config's flags against the shared and
#    against the static library, and runs;
#  - the example receiver model of examples/ (when present) builds with its
#    own CMakeLists.txt through find_package(KestromAMI), exports only the
#    IBIS-AMI entry points, and runs in the stand-in simulator (which runs a
#    32-bit model in its 32-bit host; left out when AMISIM is not built).
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
. "$(dirname "$0")/support/shell_check.sh"

check "cmake --install into a fresh prefix" cmake --install "$build" --prefix "$prefix"
libdir=lib
[ "$arch" = 32 ] && libdir=lib32
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
expected=$(sort <<EOT
include/KestromAMI/IBIS_AMI_tree.h
include/KestromAMI/Kestrom_AMI_Model.h
share/cmake/KestromAMI/KestromAMIConfig.cmake
share/cmake/KestromAMI/KestromAMIConfigVersion.cmake
share/cmake/KestromAMI/KestromAMITargets-$arch-release.cmake
share/cmake/KestromAMI/KestromAMITargets-$arch.cmake
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

example=$source/examples/rx_model
if [ -d "$example" ]; then
    check "examples/rx_model configures against the prefix" \
        cmake -S "$example" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS=-m"$arch" -DCMAKE_BUILD_TYPE=Release
    check "examples/rx_model builds" cmake --build "$work/example"
    model=$work/example/Example_Rx_$arch.so
    check "the example exports the three entry points only" \
        bash -c "diff <(printf '%s\n' AMI_Close AMI_GetWave AMI_Init) \
                      <(nm -D --defined-only '$model' | awk '{print \$3}' | sort)"
    check "the example depends on libc and libm only" \
        bash -c "! readelf -d '$model' | grep NEEDED | grep -v -e 'libc\.so\.6' -e 'libm\.so\.6'"
    check "Example_Rx.ami lies beside it" test -s "$work/example/Example_Rx.ami"

    # The stand-in drives it over its built-in lossy channel: the CTLE alone
    # (DFE off) opens the eye, and the DFE fed by the CDR opens it further.
    if [ ! -x "$amisim" ]; then
        echo "$amisim is not built: the example's run in the stand-in is left out"
        finish "installed toolkit"
        exit
    fi
    eye_after() { awk '/eye height at best phase/ {print $NF}' "$1"; }
    eye_before() { awk '/eye height at best phase/ {print $(NF-1)}' "$1"; }
    run_to() { local file=$1; shift; "$@" >"$file" 2>&1 || { cat "$file"; false; }; }
    check "amisim runs the example with the DFE in auto" run_to "$work/auto.txt" \
        "$amisim" "$model" --set DFE_Mode=auto --out "$work/auto"
    check "amisim runs the example with the DFE off" run_to "$work/off.txt" \
        "$amisim" "$model" --set DFE_Mode=off --out "$work/off"
    check "the example echoes its parameters" \
        grep -q 'DFE_Mode "auto")(DFE_Taps 4)(CDR_Mode "auto")(Rx_Modulation "NRZ"))' "$work/auto.txt"
    check "the example reports what it read" \
        grep -q '\*\*Info\*\* Configured 1 items through parameter string.' "$work/auto.txt"
    before=$(eye_before "$work/auto.txt")
    ctle=$(eye_after "$work/off.txt")
    full=$(eye_after "$work/auto.txt")
    check "eye height: before $before < CTLE $ctle < CTLE and DFE $full" \
        awk -v a="$before" -v b="$ctle" -v c="$full" 'BEGIN { exit !(a + 0 < b + 0 && b + 0 < c + 0) }'
fi

finish "installed toolkit"
