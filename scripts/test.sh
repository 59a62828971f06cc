#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test;
# then builds the threaded engines' tests with ThreadSanitizer and runs those.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/format.sh --check

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON >/dev/null
cmake --build "$build"

# The tests mostly wait on serial lines, so more of them run at once than there are cores. A
# failed test runs once more before it fails the run: two timing-sensitive ones (kolvane's
# 50 ms echo waits, rz's own 65 s wait) now and then miss on loaded cores; a real fault fails
# twice.
ctest --test-dir "$build" --output-on-failure --no-tests=error --repeat until-pass:2 -j "$(( $(nproc) * 2 ))" "$@"

# ThreadSanitizer: only the test programs of engines that run threads of their own (and of the
# console they all write to from those threads, and the component host's, whose components push
# events from theirs), built without windows or benchmarks so the stage stays small. A data race
# fails the test.
tsan=build/tsan
tsan_targets=(platform_tests picture_tests download_tests kolvane serial_tests installer_tests)
tsan_tests='^(Worker|MessageQueue|Event|DeviceWatcher|Hosting|ScannerFixture|Faults/CaptureFault|CommandLine|TransferOnCom1|MonitorOnCom1|MonitorEngineOnSim|MonitorEngineOpenings|LoaderOnCom3|ConfigureCommand|CliConsole)\.'
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_TSAN=ON -DVELTRIX_GUI=OFF -DVELTRIX_BENCH=OFF >/dev/null
cmake --build "$tsan" --target "${tsan_targets[@]}"
# The window-start tests need the windows, which this build leaves out.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$tsan" --output-on-failure --no-tests=error --repeat until-pass:2 -j "$(( $(nproc) * 2 ))" -R "$tsan_tests" \
    -E 'WithoutASubcommand|WithoutADisplay'

# The parsers' fuzz targets, briefly each (scripts/fuzz.sh runs them for longer).
scripts/fuzz.sh 15

# The Debian package, built from a release build and checked unpacked in a fresh folder: every
# program's --version, fenwald against a simulated scanner through its installed components,
# and the desktop, AppStream, lintian and manual-page validators.
scripts/package.sh
scripts/check_package.sh
