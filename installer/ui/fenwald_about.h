// FenwaldAbout, the installer's about box: its own file version and, for the loader and the
// transfer component, the file the registry names and that file's version, all read when the
// box is made. A component the registry does not know shows its labels alone.
//
// The labels, their fonts and places are the template's (resources/fenwald/about.ui); the box
// appends what it found to each label's text.
#pragma once

#include <memory>

#include "installer/engine/loader_interface.h"
#include "installer/engine/transfer_interface.h"
#include "platform/component_host.h"
#include "serial/ui/about_box.h"

namespace Ui {
class FenwaldAbout;
}  // namespace Ui

class FenwaldAbout : public serial::ui::AboutBox {
    Q_OBJECT
public:
    static constexpr int kBitmapLeft = 2, kBitmapTop = 5, kBitmapHeight = 100;
    static constexpr const char* kLoaderProgId = fenwald::gantry::kProgId;
    static constexpr const char* kTransferProgId = fenwald::vesk::kProgId;

    // With the program's registry (platform::componentRegistryPath()).
    explicit FenwaldAbout(QWidget* parent = nullptr);
    FenwaldAbout(const platform::ComponentRegistry& registry, QWidget* parent);
    ~FenwaldAbout() override;

private:
    std::unique_ptr<Ui::FenwaldAbout> ui_;
};
