// Test helpers: a worker driven as the log view drives it, images written to a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "download/engine/config_commands.h"
#include "download/engine/download_thread.h"
#include "download/engine/image_file.h"
#include "sim/z7_device.h"
#include "tests/download/expected_lines.h"
#include "tests/support/test_env.h"

namespace dltest {

using kolvane::Bytes;
using Lines = std::vector<std::string>;

// Posts commands one at a time and keeps the log as the view shows it, including the
// "Command practice fails." a result of 0 adds.
class Session {
public:
    Session() {
        if (!worker.Create()) ADD_FAILURE() << worker.CreateFailure();
    }
    ~Session() { worker.Shutdown(); }

    int post(int command, std::int64_t argument = 0) {
        worker.PostThreadCommand(command, argument);
        return awaitCompletion();
    }
    int choose(kolvane::ConfigChoice choice) {
        int result = 1;
        for (const auto& step : kolvane::configSteps(choice)) {
            log.push_back(step.logLine);
            result &= post(step.command, step.argument);
        }
        return result;
    }
    int download(const std::string& path) {
        log.push_back(kolvane::openFileLogLine(path));
        worker.PostThreadCommand(kolvane::CDownloadThread::kDownload, path);
        return awaitCompletion();
    }
    // Starts a download without waiting; finish() collects its end.
    void startDownload(const std::string& path) {
        log.push_back(kolvane::openFileLogLine(path));
        worker.PostThreadCommand(kolvane::CDownloadThread::kDownload, path);
    }
    int finish(std::chrono::seconds limit = std::chrono::seconds(60)) {
        return awaitCompletion(limit);
    }
    // Drains reports until the log holds this line (or the wait ends).
    bool waitForLine(const std::string& line,
                     std::chrono::seconds limit = std::chrono::seconds(30)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            for (const auto& l : log)
                if (l == line) return true;
            if (auto r = worker.Reports().waitPop(std::chrono::milliseconds(20))) take(*r);
        }
        return false;
    }
    std::vector<int> progress;

    kolvane::CDownloadThread worker;
    Lines log;
    int completions = 0;
    std::vector<std::string> notices;

private:
    int lastResult_ = -1;
    bool completed_ = false;
    void take(const platform::Report& r) {
        using K = platform::Report::Kind;
        switch (r.kind) {
            case K::Log:
                log.push_back(r.text);
                break;
            case K::Message:
                notices.push_back(r.text);
                break;
            case K::Progress:
                progress.push_back(r.value);
                break;
            case K::Completed:
                ++completions;
                if (r.value == 0) log.push_back("Command practice fails.");
                lastResult_ = r.value;
                completed_ = true;
                break;
        }
    }
    int awaitCompletion(std::chrono::seconds limit = std::chrono::seconds(60)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!completed_ && std::chrono::steady_clock::now() < end) {
            if (auto r = worker.Reports().waitPop(std::chrono::milliseconds(50))) take(*r);
        }
        if (!completed_) {
            ADD_FAILURE() << "command did not complete";
            return -1;
        }
        completed_ = false;
        return lastResult_;
    }
};

inline Bytes randomBytes(std::size_t n, unsigned seed = 7) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(gen());
    return b;
}

inline std::string writeImage(const testenv::ScratchDir& dir, const std::string& name,
                              const Bytes& bytes) {
    testenv::writeFile(dir.file(name), std::string(bytes.begin(), bytes.end()));
    return dir.file(name);
}

// The blocks a device should hold for an image sent from startBlock: full blocks, the last
// one filled up with 0xFF.
inline std::map<std::uint16_t, Bytes> expectedBlocks(const Bytes& image, std::size_t blockSize,
                                                     int startBlock) {
    std::map<std::uint16_t, Bytes> blocks;
    for (std::size_t off = 0, k = 0; off < image.size(); off += blockSize, ++k) {
        Bytes b(blockSize, 0xFF);
        std::copy(
            image.begin() + static_cast<std::ptrdiff_t>(off),
            image.begin() + static_cast<std::ptrdiff_t>(std::min(image.size(), off + blockSize)),
            b.begin());
        blocks[static_cast<std::uint16_t>(startBlock + static_cast<int>(k))] = b;
    }
    return blocks;
}

// The log of a block transfer's end once the data are sent: stop exchange and flash reports.
inline Lines transferEnd(int sectors = 1) {
    Lines l = {"Receiving stop directions transmission",
               "All the file data transmitting completion"};
    for (int i = 0; i < sectors; ++i) {
        l.push_back("FROM block: Initialization completion");
        l.push_back("FROM block: Writing completion");
    }
    l.push_back("All the FROM writing completion");
    return l;
}

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace dltest
