#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test: a plain build, then the same
# tests under AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded tests under
# ThreadSanitizer, then every fuzz target for 20 seconds. Exits non-zero on the first failure.
#
#   tools/test.sh            everything
#   tools/test.sh --quick    the plain build only
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
[[ "${1:-}" == "--quick" ]] && quick=1

source tools/packages.sh
nbx_install_packages

jobs=$(nproc)

# build_and_test <folder> <build type> <test regex or ""> <cmake args...>
# An empty regex builds and runs everything; otherwise only the test executables it names.
build_and_test() {
    local dir=$1 type=$2 tests=$3
    shift 3
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    if [[ -z "$tests" ]]; then
        cmake --build "$dir" -j "$jobs"
        (cd "$dir" && ctest --output-on-failure -j "$jobs")
    else
        cmake --build "$dir" -j "$jobs" --target ${tests//|/ }
        (cd "$dir" && ctest --output-on-failure -j "$jobs" -R "^($tests)\$")
    fi
}

echo "== plain build"
build_and_test build RelWithDebInfo ""
((quick)) && exit 0

# The sanitizer builds are unoptimised: they compile much faster, and the checks do not need
# the optimiser.
echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build_and_test build-asan Debug "" -DNBX_SANITIZE=address -DNBX_BUILD_BENCH=OFF

# Only the executables whose code runs on several threads.
threaded="standard_tests|extended_tests|ace_ext_tests|oodb_tests|host_tests|rconsole_base_tests"
threaded+="|dhcp_sync_tests|integration_tests"
echo "== ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    build_and_test build-tsan Debug "$threaded" -DNBX_SANITIZE=thread -DNBX_BUILD_BENCH=OFF

# Every fuzz target for a short while on its seeds: an input that once crashed a reader and is
# now in the corpus fails the run again.
echo "== fuzz targets, 20 s each"
bash tools/fuzz.sh 20

echo "all test builds passed"
