#include "serial/cli/options.h"

#include <charconv>

namespace serial::cli {

int parseNumber(std::string_view option, const std::string& text) {
    int v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size())
        throw UsageError{std::string(option) + " needs a number, not \"" + text + "\""};
    return v;
}

Options::Options(const std::vector<std::string>& args, std::string subcommand)
    : args_(args), subcommand_(std::move(subcommand)) {}

bool Options::flag(std::string_view name) {
    if (peek() != name) return false;
    ++next_;
    return true;
}

std::optional<std::string> Options::value(std::string_view name) {
    const std::string& a = peek();
    if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
        ++next_;
        return a.substr(name.size() + 1);
    }
    if (a != name) return std::nullopt;
    if (next_ + 1 >= args_.size()) throw UsageError{std::string(name) + " needs a value"};
    next_ += 2;
    return args_[next_ - 1];
}

std::optional<int> Options::number(std::string_view name) {
    auto v = value(name);
    if (!v) return std::nullopt;
    return parseNumber(name, *v);
}

std::optional<int> Options::port() {
    auto n = number("--port");
    if (n && (*n < 1 || *n > kHighestPort))
        throw UsageError{"--port takes a COM number from 1 to " + std::to_string(kHighestPort) +
                         ", not " + std::to_string(*n)};
    return n;
}

std::string Options::positional() {
    const std::string& a = peek();
    if (a.size() > 1 && a[0] == '-') unknownOption();
    ++next_;
    return a;
}

void Options::unknownOption() const {
    throw UsageError{subcommand_ + ": unknown option " + peek()};
}

}  // namespace serial::cli
