// Runs work on the GUI thread for another thread and lets that thread wait until it is done,
// as the capture thread needs when it shows the picture viewer or a message box: the modal
// window must live on the GUI thread, and the capture thread may go on only when it closes.
//
// The danger is the GUI thread waiting for the capture thread (stopping a capture, destroying
// the engine, closing the program) while the capture thread waits for the GUI thread. So the
// GUI thread refuses calls while it waits: a call that has not started yet is released unrun,
// and new ones return at once. A call already running (a viewer on screen) is a nested event
// loop on the GUI thread's stack; its owner closes that window and must not wait for the
// capture thread before the loop has returned (InCall() tells).
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pictavo {

class GuiCallBridge {
public:
    // Calls run on the thread that constructs the bridge (the GUI thread).
    GuiCallBridge();
    ~GuiCallBridge();  // refuses all calls from then on
    GuiCallBridge(const GuiCallBridge&) = delete;
    GuiCallBridge& operator=(const GuiCallBridge&) = delete;

    // On the GUI thread: runs work at once and returns true. On any other thread: hands work
    // to the GUI thread and waits until it has run (true), or returns false without running
    // it when the call is refused, at once or while it waited.
    bool Call(std::function<void()> work);

    // Refuses calls from now until the Refusal ends. GUI thread.
    class Refusal {
    public:
        explicit Refusal(GuiCallBridge& bridge);
        ~Refusal();
        Refusal(const Refusal&) = delete;
        Refusal& operator=(const Refusal&) = delete;

    private:
        GuiCallBridge& bridge_;
    };
    // Refuses calls for good.
    void Close();
    bool Closed() const;

    // The GUI thread is running the work of a call (usually a modal window's event loop).
    bool InCall() const { return running_ > 0; }

private:
    struct Pending;
    void refuseQueued();
    void run(const std::shared_ptr<Pending>& pending);

    QObject receiver_;  // posted calls go to its thread; they die with it
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<Pending>> queued_;
    int refusals_ = 0;
    int waiters_ = 0;  // threads inside Call()
    bool closed_ = false;
    std::atomic<int> running_{0};
};

}  // namespace pictavo
