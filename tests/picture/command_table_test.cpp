#include <gtest/gtest.h>

#include "picture/engine/command_table.h"

using pictavo::CommandTable;

TEST(CommandTable, ListsTheNamesInByteOrderWithOrWithoutTheDebugCommands) {
    CommandTable table;
    EXPECT_EQ(table.names(false),
              (std::vector<std::string>{"Get SW Version", "Rack Analyze", "Rack Calibrate",
                                        "Setup Camera", "Toggle Laser"}));
    EXPECT_EQ(table.names(true),
              (std::vector<std::string>{"Default KTR", "Get SW Version", "Rack Analyze",
                                        "Rack Calibrate", "Save Config", "Setup Camera",
                                        "Toggle Laser", "Toggle debug", "Trigger"}));
}

TEST(CommandTable, HoldsEachCommandsBytesAndReplyWait) {
    CommandTable table;
    struct Row {
        const char* name;
        std::string bytes;
        unsigned wait;
    } rows[] = {
        {"Get SW Version", "\x1bZ1\r", 300},   {"Toggle Laser", "\x1b[OOQ\r", 300},
        {"Trigger", "\x1bZ\r", 100},           {"Setup Camera", "\x1b[OOUQ1Q0Q0Q2Q1\r", 300},
        {"Rack Calibrate", "\x1b[OOV\r", 500}, {"Rack Analyze", "\x1b[OOT\r", 1000},
        {"Toggle debug", "\x1b[OO3\r", 1000},  {"Default KTR", "\x1b[QO3\r", 300},
        {"Save Config", "\x1bZ2\r", 300},
    };
    for (const auto& r : rows) {
        const auto* c = table.find(r.name);
        ASSERT_TRUE(c) << r.name;
        EXPECT_EQ(c->bytes, r.bytes) << r.name;
        EXPECT_EQ(c->replyWaitMs, r.wait) << r.name;
    }
    EXPECT_EQ(table.find("Save Config")->bytes.size(), 4u);
    EXPECT_EQ(table.find("Setup Camera")->bytes.size(), 16u);
    EXPECT_FALSE(table.find("save config"));
}

TEST(CommandTable, TheCameraSetupCommandFollowsItsSetting) {
    CommandTable table("[OOUQ1");
    EXPECT_EQ(table.find("Setup Camera")->bytes, "\x1b[OOUQ1\r");
    table.setCameraSetup(std::string(30, 'Q'));
    EXPECT_EQ(table.find("Setup Camera")->bytes.size(), 32u);
    table.setCameraSetup("");
    EXPECT_EQ(table.find("Setup Camera")->bytes.size(), 32u);  // an empty setting changes nothing
    EXPECT_EQ(CommandTable("").find("Setup Camera")->bytes, "\x1b[OOUQ1Q0Q0Q2Q1\r");
}
