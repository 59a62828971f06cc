#include "installer/cli/settings_reading.h"

#include <algorithm>

#include "serial/cli/options.h"

namespace fenwald::cli {

CommandLineSettings::CommandLineSettings(serial::cli::Console& console) {
    file_.setReadOnly(true);
    load_ = loadSettings(file_, values_);
    if (load_.unreadable)
        console.message("fenwald: " + describeUnreadableSettings(file_.path(), *load_.unreadable));
}

void CommandLineSettings::refuseBadValues(std::initializer_list<std::string_view> keys) const {
    for (const SettingProblem& p : load_.problems)
        if (std::find(keys.begin(), keys.end(), p.key) != keys.end())
            throw serial::cli::UsageError{describeSettingProblem(file_.path(), p)};
}

}  // namespace fenwald::cli
