#!/usr/bin/env bash
# Runs install-prerequisites.sh against fake machines: fake commands on PATH
# (id, g++, apt-get and the tools), a fake file tree, and a fake answer to
# "does this kernel run i386 programs". Checks what it installs or prints.
set -uo pipefail
script=$(cd "$(dirname "$0")" && pwd)/install-prerequisites.sh
machines=()
trap 'rm -rf "${machines[@]}"' EXIT

# One fake machine in $machine. Arguments: uid, "yes"/"no" for native i386,
# and what is installed already ("all" or "none").
make_machine() {
    local uid=$1 native=$2 installed=$3
    machine=$(mktemp -d)
    machines+=("$machine")
    mkdir -p "$machine/bin" "$machine/root/usr/include" "$machine/libexec"
    for tool in bash env mktemp rm chmod cat touch mkdir ln; do
        ln -s "$(command -v "$tool")" "$machine/bin/$tool"
    done
    printf '#!/bin/bash\necho %s\n' "$uid" >"$machine/bin/id"
    printf '#!/bin/bash\nexit %s\n' "$([ "$native" = yes ] && echo 0 || echo 1)" >"$machine/probe"
    # g++, once installed, builds -m32 programs only when g++-multilib is in.
    cat >"$machine/libexec/g++" <<EOF
#!/bin/bash
for a in "\$@"; do
    [ "\$a" = -m32 ] && [ ! -e "$machine/libexec/multilib" ] && exit 1
done
exit 0
EOF
    # clang, once installed, links fuzzers only when libclang-rt-dev is in.
    cat >"$machine/libexec/clang++" <<EOF
#!/bin/bash
for a in "\$@"; do
    case \$a in -fsanitize=*fuzzer*) [ -e "$machine/libexec/libfuzzer" ] || exit 1 ;; esac
done
exit 0
EOF
    # apt-get records its calls and "installs" by creating what each package
    # provides; with $machine/stale it fails until apt-get update has run.
    cat >"$machine/bin/apt-get" <<EOF
#!/bin/bash
echo "\$*" >>"$machine/apt.log"
if [ "\$1" = update ]; then rm -f "$machine/stale"; exit 0; fi
[ -e "$machine/stale" ] && exit 100
shift 2
for package in "\$@"; do
    case \$package in
        g++) ln -s ../libexec/g++ "$machine/bin/g++" ;;
        g++-multilib) touch "$machine/libexec/multilib" ;;
        clang) ln -s ../libexec/clang++ "$machine/bin/clang"
               ln -s ../libexec/clang++ "$machine/bin/clang++" ;;
        libclang-rt-dev) touch "$machine/libexec/libfuzzer" ;;
        googletest) mkdir -p "$machine/root/usr/src/googletest"
                    touch "$machine/root/usr/src/googletest/CMakeLists.txt" ;;
        libbenchmark-dev) mkdir -p "$machine/root/usr/include/benchmark"
                          touch "$machine/root/usr/include/benchmark/benchmark.h" ;;
        libfftw3-dev) touch "$machine/root/usr/include/fftw3.h" ;;
        python3-*) mkdir -p "$machine/root/usr/lib/python3/dist-packages/\${package#python3-}" ;;
        libpng-dev) touch "$machine/root/usr/include/png.h" ;;
        librsvg2-bin) ln -s ../probe "$machine/bin/rsvg-convert" ;;
        time) mkdir -p "$machine/root/usr/bin" && touch "$machine/root/usr/bin/time" ;;
        qemu-user) [ -e "$machine/no-qemu" ] || ln -s ../probe "$machine/bin/qemu-i386" ;;
        binutils) ln -s ../probe "$machine/bin/readelf" ;;
        chromium-driver) ln -s ../probe "$machine/bin/chromedriver" ;;
        *) ln -s ../probe "$machine/bin/\$package" ;;
    esac
done
EOF
    chmod +x "$machine/bin/"* "$machine/libexec/"* "$machine/probe"
    if [ "$installed" = all ]; then
        PATH=$machine/bin apt-get install -y cmake g++ binutils clang-format clang-tidy \
            cppcheck valgrind googletest libbenchmark-dev libfftw3-dev librsvg2-bin libpng-dev \
            time pkg-config python3 python3-jsonschema python3-distributed python3-pandas \
            python3-matplotlib python3-tqdm python3-pytest python3-selenium chromium \
            chromium-driver g++-multilib qemu-user clang libclang-rt-dev
        rm -f "$machine/apt.log"
    fi
}

run_script() {
    PATH=$machine/bin AMI_PREREQ_SYSROOT=$machine/root AMI_PREREQ_I386_PROBE=$machine/probe \
        "$script" >"$machine/out" 2>&1
    status=$?
}

. "$(dirname "$0")/../tests/support/shell_check.sh"
# A failed check shows the machine's name, what the script printed and the
# apt-get calls it made.
check_details() {
    echo "  machine: $name"
    echo "  output: $(cat "$machine/out")"
    echo "  apt-get calls: $(cat "$machine/apt.log" 2>/dev/null)"
}

installs() { grep -q -w -F -- "$1" "$machine/apt.log" 2>/dev/null; }
prints() { grep -q -F -- "$1" "$machine/out"; }
install_calls() { grep -c '^install' "$machine/apt.log" 2>/dev/null; }

name="fresh root machine whose kernel cannot run i386"
make_machine 0 no none
run_script
check "succeeds on its first run" [ "$status" -eq 0 ]
check "installs everything in one apt-get call" [ "$(install_calls)" -eq 1 ]
for package in cmake g++ g++-multilib qemu-user googletest libbenchmark-dev valgrind \
    libfftw3-dev librsvg2-bin libpng-dev time pkg-config python3 python3-jsonschema clang \
    libclang-rt-dev python3-distributed python3-pandas python3-matplotlib python3-tqdm \
    python3-pytest python3-selenium chromium chromium-driver; do
    check "installs $package" installs "$package"
done
run_script
check "a second run finds nothing to do" [ "$status" -eq 0 ]
check "a second run installs nothing" [ "$(install_calls)" -eq 1 ]

name="fresh root machine whose kernel runs i386"
make_machine 0 yes none
run_script
check "succeeds" [ "$status" -eq 0 ]
check "installs g++-multilib" installs g++-multilib
check "does not install qemu-user" bash -c "! grep -q qemu-user '$machine/apt.log'"

name="fresh machine, not root, kernel cannot run i386"
make_machine 1000 no none
run_script
check "stops with status 1" [ "$status" -eq 1 ]
check "names g++-multilib and qemu-user at once" prints "g++-multilib qemu-user"
check "prints the install command" prints "sudo apt-get install -y cmake g++"
check "installs nothing" [ ! -e "$machine/apt.log" ]

name="machine with everything"
make_machine 1000 no all
run_script
check "succeeds without root" [ "$status" -eq 0 ]
check "installs nothing" [ ! -e "$machine/apt.log" ]

name="root machine with stale package lists"
make_machine 0 yes none
touch "$machine/stale"
run_script
check "succeeds" [ "$status" -eq 0 ]
check "updates the lists, then installs" installs update

name="root machine with clang but without the libFuzzer runtime"
make_machine 0 yes all
rm "$machine/libexec/libfuzzer"
run_script
check "succeeds" [ "$status" -eq 0 ]
check "installs only libclang-rt-dev" [ "$(cat "$machine/apt.log")" = "install -y libclang-rt-dev" ]

name="root machine where qemu-user does not provide qemu-i386"
make_machine 0 no none
touch "$machine/no-qemu"
run_script
check "fails" [ "$status" -eq 1 ]
check "says what is still missing" prints "Still missing after installing: qemu-user"

finish install-prerequisites
