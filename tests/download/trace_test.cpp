// kolvane run with VELTRIX_TRACE and KOLVANE_DEBUG against a simulated Z7: what standard error
// holds, and that standard output and the wire stay as they are without them.
#include "tests/download/download_session.h"
#include "tests/support/child_program.h"
#include "tests/support/trace_lines.h"

using namespace dltest;

namespace {

using Variable = testenv::ScopedVariable;

using testenv::anyHas;
using testenv::linesOf;
using testenv::traced;

struct KolvaneTrace : ::testing::Test {
    testenv::IsolatedPorts env;
    testenv::ChildProgram kolvane{KOLVANE_BINARY, env.dir()};
    std::unique_ptr<sim::Z7Device> z7 = std::make_unique<sim::Z7Device>();
    std::string image;

    void SetUp() override {
        ASSERT_TRUE(z7->start(env.mapFile(), 1, "Veltrix Z7 (COM1)"));
        image = writeImage(env.dir(), "app.bin", randomBytes(8192 + 10));
    }
    testenv::Outcome download() { return kolvane.run({"download", image}); }
};

TEST_F(KolvaneTrace, LineTracesTheOpenWritesAndReadsEscapedAndNothingElse) {
    const testenv::Outcome plain = download();
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
    const Bytes plainWire = z7->line().received();

    testenv::Outcome r;
    {
        Variable trace("VELTRIX_TRACE", "line");
        r = download();
    }
    ASSERT_EQ(r.status, 0) << r.err;
    // Tracing changes neither what the user reads nor a byte on the wire.
    EXPECT_EQ(r.out, plain.out);
    const Bytes wire = z7->line().received();
    ASSERT_EQ(wire.size(), 2 * plainWire.size());
    EXPECT_EQ(Bytes(wire.begin() + plainWire.size(), wire.end()), plainWire);

    const std::string path = z7->line().devicePath();
    const auto lines = traced(r.err, "line");
    EXPECT_EQ(traced(r.err, "worker"), std::vector<std::string>{});
    ASSERT_FALSE(lines.empty()) << r.err;
    EXPECT_EQ(lines.size(), linesOf(r.err).size()) << r.err;  // nothing but trace lines
    EXPECT_NE(lines.front().find(" line " + path + " open"), std::string::npos) << lines.front();
    EXPECT_TRUE(anyHas(lines, " line " + path + " settings 9600 8N1")) << r.err;
    // The first mode switch, its escape and carriage returns by value.
    EXPECT_TRUE(anyHas(lines, " line " + path + " write 8: \\x1BUX\\x0D\\x0D\\x0D\\x0D\\x0D"))
        << r.err;
    EXPECT_TRUE(anyHas(lines, " line " + path + " read ")) << r.err;
    // A block is longer than a trace line shows.
    EXPECT_TRUE(anyHas(lines, " more)")) << r.err;
    EXPECT_NE(lines.back().find(" line " + path + " close"), std::string::npos) << lines.back();
}

TEST_F(KolvaneTrace, AllAddsTheWorkerAndAnUnknownKindWarnsOnce) {
    testenv::Outcome r;
    {
        Variable trace("VELTRIX_TRACE", "worker,bogus,\x1B[2J");
        r = download();
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(traced(r.err, "line"), std::vector<std::string>{});
    const auto worker = traced(r.err, "worker");
    EXPECT_TRUE(anyHas(worker, " start")) << r.err;
    EXPECT_TRUE(anyHas(worker, " command 1 taken")) << r.err;
    EXPECT_TRUE(anyHas(worker, " command 1 done")) << r.err;
    EXPECT_TRUE(anyHas(worker, " end")) << r.err;
    const auto errLines = linesOf(r.err);
    ASSERT_FALSE(errLines.empty());
    EXPECT_EQ(errLines.front(),
              "veltrix: VELTRIX_TRACE: unknown kind \"bogus\", \"\\x1B[2J\" ignored (the kinds are "
              "line, worker, component and all)");
    EXPECT_EQ(r.err.find("unknown kind", errLines.front().size()), std::string::npos) << r.err;

    {
        Variable trace("VELTRIX_TRACE", "all");
        r = download();
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(traced(r.err, "line").empty()) << r.err;
    EXPECT_FALSE(traced(r.err, "worker").empty()) << r.err;
    EXPECT_EQ(r.err.find("unknown kind"), std::string::npos) << r.err;
}

TEST_F(KolvaneTrace, DebugOutputKeepsItsLinesBesideTheTrace) {
    testenv::Outcome r;
    {
        Variable debug("KOLVANE_DEBUG", "1");
        r = download();
    }
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = linesOf(r.err);
    ASSERT_FALSE(lines.empty());
    for (const std::string& l : lines) EXPECT_EQ(l.rfind("kolvane: ", 0), 0u) << l;
    EXPECT_TRUE(anyHas(lines, "kolvane: command ")) << r.err;
    {
        Variable debug("KOLVANE_DEBUG", "0");
        r = download();
    }
    EXPECT_EQ(r.err, "");
}

}  // namespace
