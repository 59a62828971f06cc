#include "serial/ui/prog_status_bar.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

CProgStatusBar::CProgStatusBar(QWidget* parent)
    : QStatusBar(parent), progress_(new QProgressBar(this)) {
    progress_->setObjectName("progress");
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->hide();
    CoverProgressPane();
}

int CProgStatusBar::AddPane(const QString& text, int width) {
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignCenter);
    if (width > 0) label->setFixedWidth(width);
    addPermanentWidget(label, width > 0 ? 0 : 1);
    panes_.push_back(label);
    if (paneCount() - 1 == kProgressPane) {
        // The pane's own moves and resizes carry the progress bar along, whatever caused them.
        label->installEventFilter(this);
        progress_->raise();
        CoverProgressPane();
    }
    return paneCount() - 1;
}

QLabel* CProgStatusBar::pane(int index) const {
    return index >= 0 && index < paneCount() ? panes_[static_cast<std::size_t>(index)] : nullptr;
}

void CProgStatusBar::SetPaneText(int index, const QString& text) {
    if (QLabel* label = pane(index)) label->setText(text);
}

void CProgStatusBar::SetPaneEnabled(int index, bool on) {
    if (QLabel* label = pane(index)) label->setEnabled(on);
}

void CProgStatusBar::SetProgress(std::uint32_t position) {
    const bool show = position != 0;
    if (progress_->isHidden() == show) {
        clearMessage();
        progress_->setVisible(show);
    }
    progress_->setValue(static_cast<int>(std::min<std::uint32_t>(position, 100)));
}

bool CProgStatusBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == pane(kProgressPane) &&
        (e->type() == QEvent::Move || e->type() == QEvent::Resize))
        CoverProgressPane();
    return QStatusBar::eventFilter(watched, e);
}

void CProgStatusBar::resizeEvent(QResizeEvent* e) {
    QStatusBar::resizeEvent(e);
    CoverProgressPane();
}

void CProgStatusBar::CoverProgressPane() {
    QLabel* label = pane(kProgressPane);
    progress_->setGeometry(label ? label->geometry() : QRect());
}
