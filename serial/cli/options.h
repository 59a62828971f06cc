// Reading a subcommand's arguments, in the order given:
//
//   for (Options o(args, "capture"); !o.done();) {
//       if (auto p = o.port()) port = *p;
//       else if (auto v = o.value("--output")) output = *v;
//       else if (o.flag("--bmp")) bmp = true;
//       else if (file.empty()) file = o.positional();  // an unknown option fails here
//       else o.unknownOption();
//   }
//
// A value is given as "--name VALUE" or "--name=VALUE"; every mistake throws UsageError
// with its text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace serial::cli {

// A usage error: the program prints "<program>: <text>" and exits with kExitUsage.
struct UsageError {
    std::string text;
};

template <typename T>
struct Named {
    std::string_view name;
    T value;
};

// text as a whole decimal number; "<option> needs a number, not "<text>"" otherwise.
int parseNumber(std::string_view option, const std::string& text);

class Options {
public:
    // args: those after the subcommand, which names itself in "unknown option" errors.
    Options(const std::vector<std::string>& args, std::string subcommand);

    bool done() const { return next_ >= args_.size(); }
    const std::string& peek() const { return args_[next_]; }

    bool flag(std::string_view name);
    std::optional<std::string> value(std::string_view name);
    std::optional<int> number(std::string_view name);
    // --port N: a COM number from 1 to kHighestPort, as the port menus offer them.
    static constexpr int kHighestPort = 255;
    std::optional<int> port();
    // One of the values of a table such as {{"big", Endian::Big}, {"little", Endian::Little}}.
    template <typename T, std::size_t N>
    std::optional<T> choice(std::string_view name, const Named<T> (&values)[N]) {
        auto v = value(name);
        if (!v) return std::nullopt;
        for (const Named<T>& n : values)
            if (*v == n.name) return n.value;
        throw UsageError{"unknown value for " + std::string(name) + ": " + *v};
    }
    // The next argument when it is not an option ("-" alone is not one).
    std::string positional();
    // The usage error for the next argument: what no other call took.
    [[noreturn]] void unknownOption() const;

private:
    const std::vector<std::string>& args_;
    std::string subcommand_;
    std::size_t next_ = 0;
};

}  // namespace serial::cli
