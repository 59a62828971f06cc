// CImageVideo: the picture tool's capture engine. It owns the scanner line, checks that the
// chosen COM port belongs to a Veltrix device, asks the scanner for a picture, receives it
// block by block on a capture thread and hands it over through callbacks. It also sends
// single commands and gathers their replies with a reply thread.
//
// Typical use, one picture (the window and the command line both do this):
//     CImageVideo engine(port);
//     if (!engine.FindDevice(ignorePortName)) -> "Initialization Failed."
//     engine.SetRequestFlags(0); engine.SetIdleInterval(0);
//     engine.SetImageCallback(...); engine.SetProgressCallback(...);
//     engine.SetSnapshot(...); engine.SetQuality(...); engine.SetWindow(...);
//     engine.StartCapture(jpeg);
// The capture thread closes the line when it ends, so the next picture starts again with
// FindDevice.
//
// Threads. Three threads meet here: the caller's (settings, FindDevice, StartCapture,
// StopCapture, SendCommand), the capture thread (one per picture; it runs the image callback)
// and the reply thread (reads command replies), each a platform::Worker of this engine. A stop
// request to the capture worker is the cancel; its wake-up asks for the picture; the reply
// event says a reply came. Every use of the line is serialised, so no thread ever closes the
// line under another's transfer: StopCapture from the caller's thread asks the capture thread
// to end and leaves the line to it while it runs; the capture thread resets the scanner (ETB,
// ESC "Z1" CR) and closes the line on its way out.
//
// Reports (Reports(), platform/report.h) are how the engine speaks, from whichever thread:
// progress of a picture, each message for the user ("No ports found.", "Port not found.",
// "Cannot find compatible device.", "Cannot open COM port" with the reason on a second line,
// "Create thread failed!!!", "ReceiveDataBlockError") and, when a capture thread ends, one
// Completed report whose value is its CaptureOutcome. A front end drains the queue: a window on
// its own thread (and at once after a call that failed, so its own message follows the
// engine's), the command line in its wait loop.
//
// The image callback runs on the capture thread once the line is closed and may take its
// time; the capture thread ends after it. It gets the JPEG stream (header null), or the grey
// rows with a bitmap header that gives the picture's own width and height as the scanner's
// header block announced them. The buffer is freed when it returns. It must not destroy the
// engine.
//
// Lifetime: the destructor ends a running capture (as StopCapture does) and waits until both
// threads have ended, a running image callback included.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "picture/engine/capture_protocol.h"
#include "platform/event.h"
#include "platform/report.h"
#include "platform/worker.h"
#include "serial/serial_com.h"

// How a capture ended (the value of its Completed report), for a caller that wants to say why
// no picture came (the window shows nothing more than the engine's messages; the command line
// explains).
enum class CaptureOutcome {
    None,           // no capture has ended yet
    Delivered,      // the image callback got the picture
    NoHeader,       // no header block came
    BadHeader,      // the header block was badly framed, too short or impossible
    NoImageBuffer,  // divisor 0, or a picture too large to hold
    BlockError,     // a data block was missing or badly framed ("ReceiveDataBlockError")
    LineLost,       // the line hung up: the scanner or its adapter went away
    Aborted,        // StopCapture ended it
};
const char* captureOutcomeText(CaptureOutcome outcome);

class CImageVideo {
public:
    // (bitmap header or null for a JPEG picture, bytes, count)
    using ImageCallback =
        std::function<void(const pictavo::BitmapInfo*, const std::uint8_t*, std::size_t)>;

    static constexpr int kDefaultQuality = 65;
    static constexpr unsigned kDefaultIdleIntervalMs = 200;
    static constexpr unsigned kBlockPauseMs = 100;
    static constexpr std::size_t kReplyBufferSize = 2048;

    // Reports go to the engine's own queue, or to reports (which must outlive the engine) when
    // given: a window that makes a new engine for every port keeps one queue for all of them.
    explicit CImageVideo(int portNumber, platform::ReportQueue* reports = nullptr);
    virtual ~CImageVideo();
    CImageVideo(const CImageVideo&) = delete;
    CImageVideo& operator=(const CImageVideo&) = delete;

    // Settings, stored for the next picture.
    void SetWindow(int x0, int y0, int x1, int y1);
    // Accepts only multiples of 5 from 5 up; otherwise false and the old value stays.
    bool SetQuality(int quality);
    void SetSnapshot(bool on);
    void SetRequestFlags(int flags);
    void SetIdleInterval(unsigned milliseconds);
    void SetImageCallback(ImageCallback callback);
    int Quality() const;
    pictavo::PictureWindow Window() const;
    int PortNumber() const { return port_; }

    // Progress (percent 0..100; 0 when the transfer ends or is broken off), messages and the
    // Completed report of each capture thread.
    platform::ReportQueue& Reports() { return reports_; }

    bool IsReady() const { return ready_; }
    bool OpenPort();

    // Checks the port (listed, named "Veltrix" unless ignorePortName), opens it at 115200 8N1
    // and wakes the scanner with two ETB bytes. The line stays open for the capture.
    bool FindDevice(bool ignorePortName);
    // 0 started, -2 the thread cannot be created, -3 the port is not open.
    int StartCapture(bool jpeg);
    // Ends a running capture and resets the scanner. From the capture thread itself (a
    // callback) it resets and closes at once.
    void StopCapture();
    // Sends length bytes; with wantReply waits delayMs, then gathers what the scanner sends
    // until 200 ms pass in quiet, and copies up to 2047 bytes and a terminating zero into
    // reply (at most replySize bytes in all). The line is closed afterwards. False when the
    // line could not be opened or the bytes not written.
    bool SendCommand(const void* data, int length, char* reply, std::size_t replySize,
                     bool wantReply, int& replyLength, unsigned delayMs);
    // Whether the line of the last SendCommand hung up before it was closed (the scanner or
    // its adapter went away), and how the user is told.
    bool LastCommandLostLine() const { return commandLostLine_; }
    std::string lineLostLine() const;

    // Whether a capture thread is running, and waiting for it to end (a negative wait: no
    // limit; false at once from the engine's own callbacks). For callers that run a picture
    // to its end (the command line, tests).
    bool IsCapturing() const { return captureWorker_.running(); }
    bool WaitForCaptureEnd(std::chrono::milliseconds wait);
    CaptureOutcome LastCaptureOutcome() const { return outcome_; }

private:
    struct CaptureSettings {
        pictavo::PictureWindow window;
        int quality = kDefaultQuality;
        int requestFlags = 0;
        unsigned idleIntervalMs = kDefaultIdleIntervalMs;
        bool snapshot = false;
        bool jpeg = false;
    };
    using BlockResult = pictavo::BlockResult;

    void captureThreadMain();
    CaptureOutcome capture();
    bool killed() const { return captureWorker_.stopRequested(); }
    void startReplyThread();
    BlockResult readBlock(std::uint8_t* buffer, std::size_t capacity, std::size_t& length);
    void breakOff();      // ETB, purge
    void resetScanner();  // purge, ETB, 10 ms, ESC "Z1" CR, 10 ms, close: with lineLock_ held
    void progress(int percent) { reports_.push(platform::Report::progress(percent)); }
    void message(std::string text, bool error = false, bool topmost = false);
    bool pause(unsigned milliseconds);  // false when a stop request ended it
    void replyThreadMain();
    std::string openFailureReason() const;  // with lineLock_ held
    bool lineLost() const;

    // The line and everything on it, one thread at a time.
    bool write(const void* data, int length);
    bool writeByte(std::uint8_t byte) { return write(&byte, 1); }
    int read(void* buffer, int count);

    const int port_;
    CSerialCom com_;
    mutable std::mutex lineLock_;
    std::uint64_t lineSession_ = 0;  // counts the opens, so a thread closes only its own line
    std::atomic<bool> commandLostLine_{false};

    mutable std::mutex settingsLock_;
    CaptureSettings settings_;
    ImageCallback imageCallback_;
    const pictavo::BitmapInfo bitmapHeader_ = pictavo::BitmapInfo::grey();
    platform::ReportQueue ownReports_;
    platform::ReportQueue& reports_;

    std::atomic<bool> ready_{false};
    std::atomic<CaptureOutcome> outcome_{CaptureOutcome::None};

    std::mutex replyLock_;  // the reply buffer
    std::vector<std::uint8_t> replyBuffer_;
    platform::Event replyEvent_;  // a reply came

    // Last: the threads end before what they use goes away.
    platform::Worker replyWorker_;
    platform::Worker captureWorker_;
};
