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
// StopCapture, SendCommand), the capture thread (one per picture; it runs both callbacks)
// and the reply thread (reads command replies). They signal each other through the named
// manual-reset events "_KillThreadEvent", "_PictavoEvent" and "_ReceiveDataEvent" and the
// abort and reply-stop flags. Every use of the line is serialised, so no thread ever closes
// the line under another's transfer: StopCapture from the caller's thread asks the capture
// thread to end and leaves the line to it while it runs; the capture thread resets the
// scanner (ETB, ESC "Z1" CR) and closes the line on its way out.
//
// Callbacks run on the capture thread. The image callback may take as long as it likes (the
// window shows a modal viewer from it); the capture thread waits for it. The line is already
// closed then. It gets the JPEG stream (header null), or the grey rows with a bitmap header
// that gives the picture's own width and height as the scanner's header block announced
// them. The buffer is freed when it returns. Callbacks must not destroy the engine.
//
// Messages go through ShowMessage (messages.h): "No ports found.", "Port not found.",
// "Cannot find compatible device.", "Cannot open COM port" (with the reason on a second line
// where one is known), "Create thread failed!!!" and, from the capture thread,
// "ReceiveDataBlockError".
//
// Lifetime: the destructor ends a running capture (as StopCapture does) and waits until both
// threads have ended, the modal viewer of an image callback included.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "picture/engine/capture_protocol.h"
#include "platform/event.h"
#include "serial/serial_com.h"

// How the last capture ended, for a caller that wants to say why no picture came (the
// window shows nothing more than the messages above; the command line explains).
enum class CaptureOutcome {
    None,          // no capture has ended yet
    Delivered,     // the image callback got the picture
    NoHeader,      // no header block came
    BadHeader,     // the header block was badly framed, too short or impossible
    NoImageBuffer, // divisor 0, or a picture too large to hold
    BlockError,    // a data block was missing or badly framed ("ReceiveDataBlockError")
    Aborted,       // StopCapture ended it
};
const char* CaptureOutcomeText(CaptureOutcome outcome);

class CImageVideo {
public:
    // (bitmap header or null for a JPEG picture, bytes, count)
    using ImageCallback = std::function<void(const picture::BitmapInfo*, const std::uint8_t*, std::size_t)>;
    // percent 0..100; 0 when the transfer ends or is broken off
    using ProgressCallback = std::function<void(int)>;

    static constexpr int kDefaultQuality = 65;
    static constexpr unsigned kDefaultIdleIntervalMs = 200;
    static constexpr unsigned kBlockPauseMs = 100;
    static constexpr std::size_t kReplyBufferSize = 2048;

    explicit CImageVideo(int portNumber);
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
    void SetProgressCallback(ProgressCallback callback);
    int Quality() const;
    picture::PictureWindow Window() const;
    int PortNumber() const { return port_; }

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
    bool SendCommand(const void* data, int length, char* reply, std::size_t replySize, bool wantReply,
                     int& replyLength, unsigned delayMs);

    // Whether a capture thread is running, and waiting for it to end (a negative wait: no
    // limit; false at once from the engine's own callbacks). For callers that run a picture
    // to its end (the command line, tests).
    bool IsCapturing() const { return captureRunning_; }
    bool WaitForCaptureEnd(std::chrono::milliseconds wait);
    CaptureOutcome LastCaptureOutcome() const { return outcome_; }

private:
    struct CaptureSettings {
        picture::PictureWindow window;
        int quality = kDefaultQuality;
        int requestFlags = 0;
        unsigned idleIntervalMs = kDefaultIdleIntervalMs;
        bool snapshot = false;
        bool jpeg = false;
    };
    enum class BlockResult { Ok, Killed, Silent, BadFrame, TooLong };

    void captureThreadMain();
    CaptureOutcome capture();
    void startReplyThread();
    BlockResult readBlock(std::uint8_t* buffer, std::size_t capacity, std::size_t& length);
    void breakOff();  // ETB, purge
    void resetScanner();  // purge, ETB, 10 ms, ESC "Z1" CR, 10 ms, close: with lineLock_ held
    void progress(int percent);
    bool pause(unsigned milliseconds);  // false when the kill event ended it
    void joinEndedCaptureThread();
    void replyThreadMain();
    void stopReplyThread();
    std::string openFailureReason() const;  // with lineLock_ held

    // The line and everything on it, one thread at a time.
    bool write(const void* data, int length);
    bool writeByte(std::uint8_t byte) { return write(&byte, 1); }
    int read(void* buffer, int count);

    const int port_;
    CSerialCom com_;
    mutable std::mutex lineLock_;
    std::uint64_t lineSession_ = 0;  // counts the opens, so a thread closes only its own line

    platform::Event killEvent_{false, "_KillThreadEvent"};
    platform::Event pictureEvent_{false, "_PictavoEvent"};
    platform::Event replyEvent_{false, "_ReceiveDataEvent"};

    mutable std::mutex settingsLock_;
    CaptureSettings settings_;
    ImageCallback imageCallback_;
    ProgressCallback progressCallback_;
    const picture::BitmapInfo bitmapHeader_ = picture::BitmapInfo::Grey();

    std::atomic<bool> abort_{false};
    std::atomic<bool> ready_{false};
    std::atomic<CaptureOutcome> outcome_{CaptureOutcome::None};

    std::mutex threadLock_;  // the capture thread's handle
    std::thread captureThread_;
    std::atomic<bool> captureRunning_{false};
    std::mutex captureEndLock_;
    std::condition_variable captureEnded_;

    std::thread replyThread_;
    std::atomic<bool> replyRunning_{false};
    std::mutex replyLock_;  // the reply buffer and the reply thread's stop request
    std::condition_variable replyStopChanged_;
    bool replyStop_ = false;
    std::vector<std::uint8_t> replyBuffer_;
};
