// Reading what a program run with VELTRIX_TRACE wrote on standard error.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace testenv {

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The trace lines of one kind, each checked for its shape: stamp, kind, no raw control byte.
inline std::vector<std::string> traced(const std::string& err, const std::string& kind) {
    static const std::regex shape(
        "veltrix [0-9]+\\.[0-9]{6} (line|worker|component) [^\\x00-\\x1F\\x7F]+");
    std::vector<std::string> found;
    for (const std::string& line : linesOf(err)) {
        if (line.rfind("veltrix ", 0) != 0) continue;  // not "veltrix: ", a warning
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, shape)) << line;
        if (m.size() > 1 && m[1] == kind) found.push_back(line);
    }
    return found;
}

inline bool anyHas(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace testenv
