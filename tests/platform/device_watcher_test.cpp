#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/device_watcher.h"
#include "platform/port_map.h"
#include "tests/support/test_env.h"

TEST(DeviceWatcher, ReportsLinesAddedAndRemovedFromTheMapFile) {
    testenv::IsolatedPorts env;
    env.writeMap("COM1 /dev/pts/1\n");
    std::mutex m;
    std::vector<std::string> seen;
    platform::DeviceWatcher watcher([&](const platform::PortChange& c) {
        std::lock_guard l(m);
        seen.push_back((c.kind == platform::PortChange::Arrival ? "+" : "-") +
                       std::to_string(c.number));
    });
    ASSERT_TRUE(watcher.start());
    auto got = [&] {
        std::lock_guard l(m);
        return seen;
    };
    ASSERT_TRUE(platform::registerPort(env.mapFile(), {5, "/dev/pts/5", ""}));
    EXPECT_TRUE(testenv::eventually([&] { return got() == std::vector<std::string>{"+5"}; }));
    testenv::writeFile(env.mapFile(), "COM5 /dev/pts/5\n");  // edited in place this time
    EXPECT_TRUE(testenv::eventually([&] { return got() == std::vector<std::string>{"+5", "-1"}; }));
    watcher.stop();
    ASSERT_TRUE(platform::registerPort(env.mapFile(), {6, "/dev/pts/6", ""}));
    EXPECT_EQ(got().size(), 2u);  // nothing after stop
}
