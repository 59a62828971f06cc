#include "serial/ui/port_menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

QMenu* submenuNamed(const QList<QAction*>& actions, const QString& text) {
    for (QAction* a : actions)
        if (a->menu() && a->text() == text) return a->menu();
    return nullptr;
}

}  // namespace

void BuildPortMenu(QMenuBar* menuBar, int firstCommandId, int currentPort,
                   serial::PortOrder order) {
    serial::setCurrentPortName({});
    std::vector<PortEntry> ports;
    if (ListPortsForMenu(ports, order) == 0 || !menuBar) return;
    QMenu* settings = submenuNamed(menuBar->actions(), QStringLiteral("&Settings"));
    if (!settings) return;
    QMenu* portMenu = submenuNamed(settings->actions(), QStringLiteral("Port"));
    if (!portMenu) portMenu = submenuNamed(settings->actions(), QStringLiteral("&Port"));
    if (!portMenu) return;

    portMenu->clear();
    for (const auto& p : ports) {
        QString label =
            p.name.empty() ? QStringLiteral("COM%1").arg(p.number) : QString::fromStdString(p.name);
        QAction* item = portMenu->addAction(label);
        item->setData(firstCommandId + p.number - 1);
        item->setCheckable(true);
        bool current = p.number == currentPort;
        item->setChecked(current);
        if (current) serial::setCurrentPortName(label.toStdString());
    }
}
