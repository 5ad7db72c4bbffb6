#!/usr/bin/env bash
# Makes sure this machine has what the build and the tests need, installing
# missing Debian packages when run as root, or naming the command otherwise.
set -euo pipefail

missing=()
need_command() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { [ -e "$1" ] || missing+=("$2"); }

need_command cmake cmake
need_command g++ g++
need_command readelf binutils
need_command clang-format clang-format
need_command clang-tidy clang-tidy
need_command cppcheck cppcheck
need_command valgrind valgrind
need_file /usr/src/googletest/CMakeLists.txt googletest
need_file /usr/include/benchmark/benchmark.h libbenchmark-dev
# The stand-in: FFTs for long channels (x86-64 build), its pictures rendered
# and read back by a test, peak memory measured by another.
need_file /usr/include/fftw3.h libfftw3-dev
need_command rsvg-convert librsvg2-bin
need_file /usr/include/png.h libpng-dev
need_file /usr/bin/time time

# The i386 build: a 32-bit C/C++ toolchain, and a way to run its programs.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main(){return 0;}' >"$probe/probe.cc"
if ! g++ -m32 "$probe/probe.cc" -o "$probe/probe" >/dev/null 2>&1; then
    missing+=(g++-multilib)
elif ! "$probe/probe" >/dev/null 2>&1; then
    need_command qemu-i386 qemu-user
fi

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
