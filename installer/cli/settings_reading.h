// fenwald.ini as the command line reads it: read-only, never written. A file that is there but
// cannot be read is said once on standard error and the run goes on with the defaults. A value
// out of its key's range is refused as a bad option is, with the file, key and value (exit 2),
// for the keys the subcommand takes from the file; a key given on the command line instead is
// not looked at.
#pragma once

#include <initializer_list>
#include <string_view>

#include "installer/engine/fenwald_settings.h"
#include "serial/cli/console.h"

namespace fenwald::cli {

class CommandLineSettings {
public:
    explicit CommandLineSettings(serial::cli::Console& console);

    FenwaldSettings& values() { return values_; }
    // Throws serial::cli::UsageError for the first bad value among keys.
    void refuseBadValues(std::initializer_list<std::string_view> keys) const;

private:
    serial::SettingsFile file_;
    FenwaldSettings values_;
    SettingsLoad load_;
};

}  // namespace fenwald::cli
