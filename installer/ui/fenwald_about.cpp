#include "installer/ui/fenwald_about.h"

#include <QLabel>

#include "installer/engine/component_versions.h"
#include "installer/engine/file_version_info.h"
#include "installer/ui/program_artwork.h"
#include "ui_about.h"

namespace {

QString local(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// The label's template text followed by what was found.
void append(QLabel* label, const QString& prefix, const std::string& found) {
    label->setText(prefix + local(found));
}

}  // namespace

FenwaldAbout::FenwaldAbout(QWidget* parent)
    : FenwaldAbout(platform::ComponentRegistry(platform::componentRegistryPath()), parent) {}

FenwaldAbout::FenwaldAbout(const platform::ComponentRegistry& registry, QWidget* parent)
    : AboutBox(fenwald::ui::artwork(), parent), ui_(std::make_unique<Ui::FenwaldAbout>()) {
    ui_->setupUi(this);
    // White behind everything; the texts are drawn on it, and over the bitmap, without a
    // background of their own.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    for (QLabel* label : findChildren<QLabel*>()) {
        label->setAttribute(Qt::WA_TranslucentBackground);
        QFont font = label->font();
        font.setStyleHint(QFont::SansSerif);  // where there is no Arial
        label->setFont(font);
    }

    CFileVersionInfo program;
    program.Create();
    append(ui_->versionLabel, ui_->versionLabel->text(), program.GetFileVersion());

    struct Lines {
        const char* progId;
        QLabel* version;
        QLabel* location;
    };
    for (const Lines& c : {Lines{kLoaderProgId, ui_->gantryVersionLabel, ui_->gantryLocationLabel},
                           Lines{kTransferProgId, ui_->veskVersionLabel, ui_->veskLocationLabel}}) {
        const QString versionLabel = c.version->text(), locationLabel = c.location->text();
        c.version->clear();
        c.location->clear();
        std::string path;
        std::string version;
        if (fenwald::FindComponentFile(c.progId, path, registry))
            version = fenwald::GetComponentVersion(path).value_or("");
        append(c.location, locationLabel, path);
        append(c.version, versionLabel, version);
    }

    finishSetUp(*ui_, Band{kBitmapLeft, kBitmapTop, kBitmapHeight}, Size::AsTemplate);
    setFixedSize(size());
}

FenwaldAbout::~FenwaldAbout() = default;
