#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QTest>

#include "serial/ui/prog_status_bar.h"
#include "tests/support/qt_test_support.h"

void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

namespace {

struct ProgStatusBar : ::testing::Test {
    static void SetUpTestSuite() { qttest::ensureApplication(); }
    QMainWindow window;
    CProgStatusBar* bar = new CProgStatusBar;

    void SetUp() override {
        window.setStatusBar(bar);
        for (const char* lamp : {"CTS", "RTS", "DSR", "DTR"}) bar->AddPane(lamp, 30);
        bar->AddPane("");
        window.resize(400, 200);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    bool shown() const { return !bar->progressBar()->isHidden(); }
};

}  // namespace

TEST_F(ProgStatusBar, ZeroHidesTheBarAndAnyOtherPositionShowsIt) {
    EXPECT_FALSE(shown()) << "created hidden";
    EXPECT_EQ(bar->progressBar()->minimum(), 0);
    EXPECT_EQ(bar->progressBar()->maximum(), 100);
    bar->SetProgress(1);
    EXPECT_TRUE(shown());
    EXPECT_EQ(bar->progressBar()->value(), 1);
    bar->SetProgress(100);
    EXPECT_EQ(bar->progressBar()->value(), 100);
    bar->SetProgress(0);
    EXPECT_FALSE(shown());
    // Beyond the range the bar is full rather than left where it was.
    bar->SetProgress(40);
    bar->SetProgress(250);
    EXPECT_EQ(bar->progressBar()->value(), 100);
    bar->SetProgress(0xFFFFFFFFu);
    EXPECT_EQ(bar->progressBar()->value(), 100);
}

TEST_F(ProgStatusBar, OnlyAChangeOfVisibilityClearsTheMessage) {
    bar->showMessage("Connecting");
    bar->SetProgress(0);
    EXPECT_EQ(bar->currentMessage(), "Connecting") << "already hidden";
    bar->SetProgress(10);
    EXPECT_EQ(bar->currentMessage(), "");
    bar->showMessage("Sending");
    bar->SetProgress(60);
    EXPECT_EQ(bar->currentMessage(), "Sending") << "already shown";
    bar->SetProgress(0);
    EXPECT_EQ(bar->currentMessage(), "");
}

TEST_F(ProgStatusBar, TheProgressBarCoversPaneFourAfterEveryResize) {
    bar->SetProgress(50);
    QLabel* pane = bar->pane(CProgStatusBar::kProgressPane);
    ASSERT_NE(pane, nullptr);
    for (int width : {400, 640, 250, 900}) {
        window.resize(width, 200);
        QCoreApplication::processEvents();
        EXPECT_GT(pane->width(), 0);
        EXPECT_EQ(bar->progressBar()->geometry(), pane->geometry()) << width;
    }
    // The pane also moves when a pane before it changes size.
    QRect before = pane->geometry();
    bar->pane(0)->setFixedWidth(80);
    QCoreApplication::processEvents();
    EXPECT_NE(pane->geometry(), before);
    EXPECT_EQ(bar->progressBar()->geometry(), pane->geometry());
}

TEST(ProgStatusBarWithoutFivePanes, SetProgressDoesNoHarm) {
    qttest::ensureApplication();
    CProgStatusBar bar;
    bar.AddPane("one");
    bar.SetProgress(30);
    EXPECT_EQ(bar.progressBar()->geometry(), QRect());
    EXPECT_EQ(bar.pane(4), nullptr);
    bar.SetPaneText(7, "x");
    bar.SetPaneEnabled(-1, false);
}
