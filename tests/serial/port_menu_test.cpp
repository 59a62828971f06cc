#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "serial/ui/port_menu.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"

namespace {

struct PortMenu : ::testing::Test {
    testenv::IsolatedPorts env;
    QMenuBar bar;
    QMenu* port = nullptr;

    static void SetUpTestSuite() { qttest::ensureApplication(); }
    void SetUp() override {
        QMenu* settings = bar.addMenu("&Settings");
        port = settings->addMenu("&Port");
        port->addAction("COM")->setData(32822);
    }
    std::vector<std::pair<QString, int>> items() const {
        std::vector<std::pair<QString, int>> out;
        for (QAction* a : port->actions()) out.emplace_back(a->text(), a->data().toInt());
        return out;
    }
    QString checked() const {
        for (QAction* a : port->actions())
            if (a->isChecked()) return a->text();
        return {};
    }
};

}  // namespace

TEST_F(PortMenu, OneItemPerPortWithItsCommandAndTheCurrentOneChecked) {
    env.writeMap("COM12 /dev/pts/12 Veltrix Scanner (COM12)\nCOM3 /dev/pts/3\n");
    BuildPortMenu(&bar, 32822, 12, serial::PortOrder::Ascending);
    using Items = std::vector<std::pair<QString, int>>;
    EXPECT_EQ(items(), (Items{{"COM3", 32824}, {"Veltrix Scanner (COM12)", 32833}}));
    EXPECT_EQ(checked(), "Veltrix Scanner (COM12)");
    EXPECT_EQ(serial::currentPortName(), "Veltrix Scanner (COM12)");
}

TEST_F(PortMenu, AnAbsentCurrentPortChecksNothing) {
    env.writeMap("COM7 /dev/pts/7\n");
    serial::setCurrentPortName("old");
    BuildPortMenu(&bar, 32822, 2, serial::PortOrder::AsFound);
    ASSERT_EQ(port->actions().size(), 1);
    EXPECT_EQ(port->actions()[0]->text(), "COM7");
    EXPECT_EQ(checked(), "");
    EXPECT_EQ(serial::currentPortName(), "");
}

TEST_F(PortMenu, NoPortsLeaveTheSubmenuAsItWas) {
    BuildPortMenu(&bar, 32822, 1, serial::PortOrder::Ascending);
    ASSERT_EQ(port->actions().size(), 1);
    EXPECT_EQ(port->actions()[0]->text(), "COM");
}

TEST_F(PortMenu, MenusAreFoundByTheirFullText) {
    env.writeMap("COM3 /dev/pts/3\n");
    QMenuBar other;
    other.addMenu("Settings")->addMenu("&Port")->addAction("kept");
    BuildPortMenu(&other, 32822, 3, serial::PortOrder::Ascending);
    QMenu* settings = other.actions()[0]->menu();
    EXPECT_EQ(settings->actions()[0]->menu()->actions()[0]->text(), "kept");
}
