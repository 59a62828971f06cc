// Rebuilds the Port submenu of a window's "&Settings" menu from the port list: one item per
// port, command ID firstCommandId + n - 1 (kept in QAction::data()), a check mark on the
// current port. An empty port list leaves the submenu as it was.
#pragma once

#include "serial/port_discovery.h"

class QMenuBar;

void BuildPortMenu(QMenuBar* menuBar, int firstCommandId, int currentPort, serial::PortOrder order);
