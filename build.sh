#!/bin/sh
# Builds the loader and its tool, then runs the demo or the tests.
#   ./build.sh demo    vrml info, dump, convert and render on the bundled sample scenes
#   ./build.sh test    all unit tests
#   ./build.sh asan    all unit tests built by clang with AddressSanitizer and UBSan
#   ./build.sh fuzz [SECONDS]  the fuzz regression inputs, then a short fuzzing run
#   ./build.sh bench   the loading and rendering benchmarks and their tables of results
#   ./build.sh python  builds the Python module and installs it for this user's python3
#   ./build.sh blender installs Debian's Blender, builds the add-on zip and installs it for this user
#   ./build.sh format  checks that every C++ file follows .clang-format
#   ./build.sh web     the WebAssembly module: the npm package in build-web/npm, the page in build-web/site
#   ./build.sh web-test  the same, then its tests in Node.js and headless Chromium against the native tool
# (web installs Debian's emscripten, takes zlib's Debian source package and
# three.js from npm into .cache/web; web-test also Debian's chromium and
# puppeteer-core from npm.)
# Installs missing build dependencies with apt-get (run as root on Debian 12).
# For the tests it also installs the Khronos glTF validator from npm into
# .cache/npm when npm is there (one small package); without it, or without
# Node.js, the validator test is skipped.
set -eu
cd "$(dirname "$0")"

JOBS=$(nproc 2>/dev/null || echo 2)
# Debian's Python, whose packages apt installs (numpy, pytest, dask); the
# module is built for it.
PYTHON=/usr/bin/python3
PYTHON_PACKAGES="pybind11-dev python3-dev python3-numpy python3-pytest python3-dask python3-distributed"
install_packages() { # packages...
    wanted=""
    for package in "$@"; do
        # Installed, not only known: a removed package keeps its configuration.
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            wanted="$wanted $package"
    done
    if [ -n "$wanted" ]; then
        echo "installing:$wanted"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $wanted >/dev/null
    fi
}
install_packages cmake make g++ libgtest-dev libcli11-dev zlib1g-dev libtinygltf-dev libstb-dev rapidjson-dev \
    libfreetype-dev fonts-dejavu-core
install_gltf_validator() {
    [ -d .cache/npm/node_modules/gltf-validator ] && return 0
    command -v npm >/dev/null 2>&1 || { echo "npm not found: the glTF validator test will be skipped"; return 0; }
    timeout 180 npm install --prefix .cache/npm --no-audit --no-fund --loglevel=error \
        gltf-validator@2.0.0-dev.3.10 >/dev/null 2>&1 ||
        echo "gltf-validator could not be installed: the glTF validator test will be skipped"
}
# Every mode states every option it depends on: CMake keeps options in its
# cache, so a folder configured by one mode must not carry its choices into
# another. The defaults come first and a mode's own arguments override them.
configure_and_build() { # build dir, extra cmake arguments...
    dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVRML_BUILD_TESTS=ON -DVRML_BUILD_TOOLS=ON \
        -DVRML_BUILD_BENCH=OFF -DVRML_BUILD_FUZZ=OFF -DVRML_BUILD_PYTHON=OFF -DVRML_SANITIZE= \
        -DPYTHON_EXECUTABLE="$PYTHON" "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}
# The unit tests and the fuzz target share one clang build with AddressSanitizer
# and UBSan: one build less for CI, and the tests also pass through clang.
sanitized_build() {
    install_packages clang libclang-rt-14-dev
    if [ -f build-asan/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang' build-asan/CMakeCache.txt; then
        rm -rf build-asan # configured with another compiler, which CMake cannot change
    fi
    # -O1 and line tables only: what the sanitizers' reports need, built a
    # fifth faster than -O2 -g.
    CC=clang CXX=clang++ configure_and_build build-asan -DVRML_SANITIZE=address,undefined \
        -DVRML_BUILD_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG"
}
# A test run that finds no test is a failure, not a pass.
run_tests() { # build dir
    ctest --test-dir "$1" --output-on-failure --no-tests=error -j "$JOBS"
}

# The WebAssembly build (web/): Debian's emscripten with its prebuilt
# system libraries, zlib from Debian's source package, three.js from npm
# for the page.
THREE_VERSION=0.187.0
PUPPETEER_VERSION=25.16.0
# Emscripten's JavaScript optimiser needs Debian's Node.js modules (acorn)
# also when another Node.js than Debian's runs it.
EMSCRIPTEN_NODE_PATH=/usr/share/nodejs
# zlib's source, of a version this machine's Debian archive serves, unpacked
# into .cache/web/zlib. The deb-src entries are our own copy of the
# system's Debian entries, for apt-get here only: the system's apt
# configuration is not touched.
fetch_zlib_source() {
    [ -f .cache/web/zlib/inflate.c ] && return 0
    apt=$PWD/.cache/web/apt
    rm -rf "$apt" .cache/web/zlib
    mkdir -p "$apt/lists/partial" "$apt/parts" .cache/web/zlib
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list >"$apt/sources.list" 2>/dev/null || :
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$apt/parts/debian.sources"
    fi
    set -- -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts" \
        -o Dir::State::Lists="$apt/lists"
    apt-get -qq "$@" update || :
    # The newest version first; a mirror may not serve every version it lists.
    for version in $(apt-cache "$@" showsrc zlib | sed -n 's/^Version: //p' | sort -rVu); do
        (cd "$apt" && apt-get -qq "$@" source --download-only "zlib=$version" >/dev/null 2>&1) && break
    done
    tarball=$(ls "$apt"/zlib_*.orig.tar.* 2>/dev/null | head -n 1)
    [ -n "$tarball" ] || { echo "zlib's Debian source could not be downloaded" >&2; exit 1; }
    tar -xf "$tarball" -C .cache/web/zlib --strip-components=1
    echo "zlib source: $(basename "$tarball")"
}
# An npm package into a folder of .cache/web, at a fixed version.
npm_install() { # folder, package@version
    grep -qs "\"version\": \"${2##*@}\"" "$1/node_modules/${2%@*}/package.json" && return 0
    command -v npm >/dev/null 2>&1 || install_packages npm
    timeout 300 npm install --prefix "$1" --no-audit --no-fund --no-save --loglevel=error "$2" >/dev/null
}
web_build() {
    install_packages emscripten libstb-dev rapidjson-dev bzip2 xz-utils
    fetch_zlib_source
    npm_install .cache/web/site three@$THREE_VERSION
    NODE_PATH=$EMSCRIPTEN_NODE_PATH emcmake cmake -S web -B build-web -DCMAKE_BUILD_TYPE=Release \
        -DVRML_ZLIB_SOURCE_DIR="$PWD/.cache/web/zlib" -DVRML_THREE_DIR="$PWD/.cache/web/site/node_modules/three" >/dev/null
    NODE_PATH=$EMSCRIPTEN_NODE_PATH cmake --build build-web -j "$JOBS"
    echo "npm package: build-web/npm; page: build-web/site (serve it over http)"
}

case "${1:-demo}" in
demo)
    configure_and_build build -DVRML_BUILD_TESTS=OFF
    build/cli/vrml info --tree examples/house.wrl
    build/cli/vrml dump examples/robot_arm.wrl
    build/cli/vrml convert examples/robot_arm.wrl build/robot_arm.glb
    build/cli/vrml convert examples/gallery.wrl build/gallery.glb
    build/cli/vrml render examples/gallery.wrl build/gallery.png
    echo "picture of the gallery: build/gallery.png"
    ;;
test)
    install_packages $PYTHON_PACKAGES
    install_gltf_validator
    configure_and_build build -DVRML_BUILD_PYTHON=ON
    run_tests build
    ;;
python)
    install_packages $PYTHON_PACKAGES
    configure_and_build build-python -DVRML_BUILD_PYTHON=ON -DVRML_BUILD_TESTS=OFF
    site=$("$PYTHON" -m site --user-site)
    mkdir -p "$site"
    rm -rf "$site/vrml"
    cp -r build-python/python/vrml "$site/"
    "$PYTHON" -c "import vrml; print('vrml installed in', vrml.__path__[0])"
    ;;
blender)
    install_packages $PYTHON_PACKAGES blender
    # The same build as the tests', so that a test run after this one rebuilds nothing.
    configure_and_build build -DVRML_BUILD_PYTHON=ON
    zip=$(ls "$PWD"/build/blender/vrml_import-*.zip)
    # The user's own preferences are loaded, the add-on enabled in them and saved.
    blender -b --python-exit-code 1 --python-expr "import bpy
bpy.ops.preferences.addon_install(filepath='$zip', overwrite=True)
bpy.ops.preferences.addon_enable(module='vrml_import')
bpy.ops.wm.save_userpref()" >/dev/null
    echo "Blender add-on $zip installed for this user: File > Import > VRML"
    ;;
asan)
    install_gltf_validator
    sanitized_build
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests build-asan
    ;;
fuzz)
    sanitized_build
    seconds=${2:-60}
    work=$(mktemp -d)
    cp fuzz/seeds/* fuzz/regressions/* "$work"/
    # Every input that once failed must pass, then new inputs for a fixed time.
    build-asan/fuzz/vrml_fuzzer fuzz/regressions/*
    # An input may take tens of seconds under the sanitizers and still be no
    # hang (a 4 KB prototype fan-out builds 100,000 objects): only a minute
    # without an end counts as one.
    build-asan/fuzz/vrml_fuzzer -dict=fuzz/vrml.dict -max_total_time="$seconds" -timeout=60 \
        -rss_limit_mb=2048 -print_final_stats=1 "$work"
    rm -rf "$work"
    ;;
bench)
    install_packages libbenchmark-dev
    configure_and_build build-bench -DVRML_BUILD_BENCH=ON -DVRML_BUILD_TESTS=OFF -DVRML_BUILD_TOOLS=ON
    build-bench/bench/vrml_bench
    build-bench/bench/vrml_render_bench
    ;;
web)
    web_build
    ;;
web-test)
    web_build
    # The tests hold the module's outputs against the native tool's.
    configure_and_build build -DVRML_BUILD_TESTS=OFF
    install_packages chromium
    npm_install .cache/web/test puppeteer-core@$PUPPETEER_VERSION
    VRML_TOOL="$PWD/build/cli/vrml" VRML_WEB_DIR="$PWD/build-web" CHROMIUM=/usr/bin/chromium \
        VRML_NODE_MODULES="$PWD/.cache/web/test/node_modules" \
        node --test tests/web/*.test.mjs
    ;;
format)
    install_packages clang-format-14
    git ls-files '*.cpp' '*.h' | xargs clang-format-14 --dry-run -Werror
    echo "format: every C++ file follows .clang-format"
    ;;
*)
    echo "usage: $0 demo|test|asan|fuzz [SECONDS]|bench|python|blender|format|web|web-test" >&2
    exit 2
    ;;
esac
