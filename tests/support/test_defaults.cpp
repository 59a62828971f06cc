// Compiled into every test program, so a test behaves the same however it is started
// (ctest, scripts/test.sh, or by hand): sanitizer settings, the leak suppressions for what
// system libraries keep for the life of the process, and no display unless one is asked for.
#include <cstdlib>

extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=1:strict_string_checks=1";
}
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n"
           "leak:libdbus\n";
}

namespace {
const bool offscreen = [] { return ::setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0; }();
}
