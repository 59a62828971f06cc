// CProgStatusBar, a status bar whose fifth pane (index 4) can show a progress bar laid over it.
//
// The owner adds the panes (at least five when it uses the progress bar): each is a label at
// the bar's right-hand side, of a fixed width or stretching; the status bar's own message
// text shows left of the first pane. The progress bar (range 0..100, hidden at first) follows
// pane 4 wherever the layout puts it. Window's thread only.
#pragma once

#include <QStatusBar>
#include <cstdint>
#include <vector>

class QLabel;
class QProgressBar;

class CProgStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kProgressPane = 4;

    explicit CProgStatusBar(QWidget* parent = nullptr);

    // Adds a pane after the others and returns its index; width 0 lets it take the free room.
    int AddPane(const QString& text, int width = 0);
    int paneCount() const { return static_cast<int>(panes_.size()); }
    QLabel* pane(int index) const;
    void SetPaneText(int index, const QString& text);
    // A pane that is off is shown greyed (the monitor's modem-line lamps).
    void SetPaneEnabled(int index, bool on);

    QProgressBar* progressBar() const { return progress_; }
    // 0 hides the progress bar, 1..100 shows it at that position (larger values show 100).
    // Showing or hiding it first clears the message text; a call that leaves it shown (or
    // hidden) leaves the message alone.
    void SetProgress(std::uint32_t position);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void CoverProgressPane();

    std::vector<QLabel*> panes_;
    QProgressBar* progress_;
};
