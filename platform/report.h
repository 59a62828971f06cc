// What an engine's worker tells its front end, one small value at a time, through a report
// queue: a log line, a message for the user with its kind, progress, or the completion of a
// job with its result. The worker pushes and never waits; the window drains the queue on its
// own thread (serial/ui/queue_drain.h), the command line waits on it. Reports arrive in the
// order they were made.
#pragma once

#include <string>
#include <utility>

#include "platform/message_queue.h"

namespace platform {

struct Report {
    enum class Kind {
        Log,        // text: one log line
        Message,    // text: something the user must see (a message box in a window)
        Progress,   // value: percent, 0..100
        Completed,  // value: the job's result or outcome code
    };
    // How a message is shown.
    enum class Severity { Plain, Information, Warning, Error };

    Kind kind = Kind::Log;
    int value = 0;
    std::string text;
    Severity severity = Severity::Plain;
    bool topmost = false;  // a message shown above every other window

    static Report log(std::string line) { return {Kind::Log, 0, std::move(line)}; }
    static Report message(std::string text, Severity severity) {
        return {Kind::Message, 0, std::move(text), severity};
    }
    static Report progress(int percent) { return {Kind::Progress, percent, {}}; }
    static Report completed(int result) { return {Kind::Completed, result, {}}; }
};

using ReportQueue = MessageQueue<Report>;

}  // namespace platform
