#!/bin/sh
# Builds the loader and its tool, then runs the demo or the tests.
#   ./build.sh demo    vrml info and vrml dump on a bundled sample scene
#   ./build.sh test    all unit tests
#   ./build.sh asan    all unit tests built with AddressSanitizer and UBSan
# Installs missing build dependencies with apt-get (run as root on Debian 12).
set -eu
cd "$(dirname "$0")"

PACKAGES="cmake make g++ libgtest-dev libcli11-dev"
missing=""
for package in $PACKAGES; do
    dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi

JOBS=$(nproc 2>/dev/null || echo 2)
configure_and_build() { # build dir, extra cmake arguments...
    dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

case "${1:-demo}" in
demo)
    configure_and_build build -DVRML_BUILD_TESTS=OFF
    build/tools/vrml info examples/house.wrl
    build/tools/vrml dump examples/robot_arm.wrl
    ;;
test)
    configure_and_build build
    ctest --test-dir build --output-on-failure -j "$JOBS"
    ;;
asan)
    configure_and_build build-asan -DVRML_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j "$JOBS"
    ;;
*)
    echo "usage: $0 demo|test|asan" >&2
    exit 2
    ;;
esac
