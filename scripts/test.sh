#!/usr/bin/env bash
# CI's checks, each a stage whose time is logged ("== stage NAME: N s"):
#   format        scripts/format.sh --check
#   asan          every test, built with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan          the threaded engines' tests, built with ThreadSanitizer
#   fuzz          the parsers' fuzz targets, briefly each
#   release       every test again, on the release build the package is made from, in a
#                 foreign environment (tests/foreign_env.sh)
#                 (scripts/configure_release.sh: -O3 and Debian's hardening flags)
#   package       that same build, tested, packed into the Debian package
#   check_package the package unpacked in a fresh folder and checked (scripts/check_package.sh)
# Arguments go to both test suites' ctest (-R REGEX, ...).
set -euo pipefail
cd "$(dirname "$0")/.."

current=
trap '[ -z "$current" ] || echo "== stage $current failed after $((SECONDS - started)) s" >&2' EXIT
stage() {
  current=$1 started=$SECONDS
  shift
  echo "== stage $current"
  "$@"
  echo "== stage $current: $((SECONDS - started)) s"
  current=
}

# The tests mostly wait on serial lines, so more of them run at once than there are cores.
jobs=$(( $(nproc) * 3 ))
# A failed test runs once more before it fails the stage: a test that waits on another
# program's answer (rz, a simulated device) can miss on two loaded cores of a shared machine.
# A fault that is really there fails both times, and the log shows the first try.
retry=(--repeat until-pass:2)
suite() { ctest --test-dir "$1" --output-on-failure --no-tests=error -j "$jobs" "${retry[@]}" "${@:2}"; }
# The same, in an environment unlike the developer's (tests/foreign_env.sh): a private TMPDIR,
# an unwritable HOME, another language. No test may lean on the caller's.
foreign_suite() {
  tests/foreign_env.sh ctest --test-dir "$1" --output-on-failure --no-tests=error -j "$jobs" \
    "${retry[@]}" "${@:2}"
}

asan() {
  local build=build/asan
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON >/dev/null
  cmake --build "$build"
  suite "$build" "${ctest_args[@]}"
}

# Only the test programs of engines that run threads of their own (and of the console they all
# write to from those threads, and the component host's, whose components push events from
# theirs), built without windows or benchmarks so the stage stays small. A data race fails the
# test.
tsan() {
  local build=build/tsan
  local targets=(platform_tests picture_tests download_tests kolvane serial_tests installer_tests)
  local tests='^(Worker|MessageQueue|Event|DeviceWatcher|Hosting|ScannerFixture|Faults/CaptureFault|CommandLine|TransferOnCom1|MonitorOnCom1|MonitorEngineOnSim|MonitorEngineOpenings|LoaderOnCom3|ConfigureCommand|CliConsole)\.'
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_TSAN=ON -DVELTRIX_GUI=OFF -DVELTRIX_BENCH=OFF >/dev/null
  cmake --build "$build" --target "${targets[@]}"
  # The window-start tests need the windows, which this build leaves out.
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    suite "$build" -R "$tests" -E 'WithoutASubcommand|WithoutADisplay'
}

# The optimised build can fail where the sanitizer builds do not (gcc 12 at -O3 once dropped a
# worker's calls into a component): the package's own build runs the whole suite before it is
# packed.
release_build=build/package
release() {
  scripts/configure_release.sh "$release_build" -DVELTRIX_TESTS=ON
  cmake --build "$release_build"
  foreign_suite "$release_build" "${ctest_args[@]}"
}

ctest_args=("$@")
stage setup scripts/setup.sh
stage format scripts/format.sh --check
stage asan asan
stage tsan tsan
# scripts/fuzz.sh runs them for longer.
stage fuzz scripts/fuzz.sh 15
stage release release
stage package scripts/package.sh "$release_build"
stage check_package scripts/check_package.sh
echo "== all stages: $SECONDS s"
