#!/usr/bin/env bash
# Makes sure this machine has what the build and the tests need, installing
# missing Debian packages when run as root, or naming the command otherwise.
#
# The i386 build needs a 32-bit toolchain (g++-multilib) and a way to run its
# programs: natively where the kernel executes i386 programs, otherwise under
# qemu-i386 (qemu-user). Whether the kernel runs them is asked with a tiny
# static i386 program written here, so the answer does not depend on a
# toolchain that may not be installed yet; after installing, every question
# is asked again. The fuzzers need clang with its libFuzzer runtime (clang,
# libclang-rt-dev), asked by linking a tiny fuzz target.
#
# For its own test: AMI_PREREQ_SYSROOT prefixes the files looked for, and
# AMI_PREREQ_I386_PROBE names a program to run in place of the i386 probe.
set -euo pipefail

sysroot=${AMI_PREREQ_SYSROOT:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missing=()
need_command() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { [ -e "$sysroot$1" ] || missing+=("$2"); }
# A module of Debian's Python (the tests and tools in Python run under
# /usr/bin/python3, which sees Debian's python3-* packages).
need_python_module() { need_file "/usr/lib/python3/dist-packages/$1" "$2"; }

# A static i386 ELF program of 93 bytes: one header, one loadable segment,
# and the code mov eax,1; xor ebx,ebx; int 0x80 (exit with status 0).
i386_runs_natively() {
    local probe=${AMI_PREREQ_I386_PROBE:-}
    if [ -z "$probe" ]; then
        probe=$work/i386-probe
        local elf='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
        elf+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
        elf+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
        elf+='\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
        elf+='\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'
        elf+='\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
        printf "$elf" >"$probe"
        chmod +x "$probe"
    fi
    "$probe" >/dev/null 2>&1
}

i386_toolchain_works() {
    echo 'int main(){return 0;}' >"$work/probe.cc"
    g++ -m32 "$work/probe.cc" -o "$work/probe32" >/dev/null 2>&1
}

# The fuzzers (scripts/fuzz.sh) need clang with its libFuzzer runtime.
libfuzzer_works() {
    echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, unsigned long) { return 0; }' \
        >"$work/fuzz.cc"
    clang++ -fsanitize=fuzzer,address "$work/fuzz.cc" -o "$work/fuzz" >/dev/null 2>&1
}

find_missing() {
    missing=()
    need_command cmake cmake
    need_command g++ g++
    need_command readelf binutils
    need_command clang-format clang-format
    need_command clang-tidy clang-tidy
    need_command cppcheck cppcheck
    need_command valgrind valgrind
    need_file /usr/src/googletest/CMakeLists.txt googletest
    need_file /usr/include/benchmark/benchmark.h libbenchmark-dev
    # The stand-in: FFTs for long channels (x86-64 build), its pictures
    # rendered and read back by a test, peak memory measured by another.
    need_file /usr/include/fftw3.h libfftw3-dev
    need_command rsvg-convert librsvg2-bin
    need_file /usr/include/png.h libpng-dev
    need_file /usr/bin/time time
    # The installed toolkit's consumer test builds with pkg-config's flags.
    need_command pkg-config pkg-config
    # The test of results.json validates it against its JSON Schema.
    need_command python3 python3
    need_python_module jsonschema python3-jsonschema
    # The sweep runner (scripts/sweep, python/): Dask's distributed scheduler
    # (with dask-scheduler and dask-worker), the table, the heat maps, the
    # progress bar; its tests, the summary page's in headless Chromium.
    need_python_module distributed python3-distributed
    need_python_module pandas python3-pandas
    need_python_module matplotlib python3-matplotlib
    need_python_module tqdm python3-tqdm
    need_python_module pytest python3-pytest
    need_python_module selenium python3-selenium
    need_command chromium chromium
    need_command chromedriver chromium-driver
    if ! command -v g++ >/dev/null 2>&1 || ! i386_toolchain_works; then
        missing+=(g++-multilib)
    fi
    if ! i386_runs_natively; then
        need_command qemu-i386 qemu-user
    fi
    if ! command -v clang++ >/dev/null 2>&1 || ! libfuzzer_works; then
        need_command clang++ clang
        missing+=(libclang-rt-dev)
    fi
}

find_missing
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
command="apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with:  sudo $command" >&2
    exit 1
fi
echo "Installing ${missing[*]} ..." >&2
export DEBIAN_FRONTEND=noninteractive
if ! $command >/dev/null; then
    apt-get update >/dev/null
    $command >/dev/null
fi

# The same questions again, now that the packages are in.
find_missing
if [ ${#missing[@]} -ne 0 ]; then
    echo "Still missing after installing: ${missing[*]}" >&2
    exit 1
fi
