// CVeskctl1: the RS232 monitor's handle on the transfer component "Vesk.VeskCtl"
// (installer/engine/transfer_interface.h), with the wrapper's documented members; the three
// properties without a documented name carry names of ours.
//
// It creates the component through the component registry and connects it to its own event
// queue (installer/engine/component_wrapper.h). ReceiveFile and TransmitFile return at once;
// the transfer reports Progress events and one final Status event in events(), drained on the
// owner's thread; cancel() ends the running transfer (CAN goes out), and its status follows.
// Use it from one thread.
// A component that cannot be created leaves the wrapper empty: creationError() says which one
// is missing and where the host looked; the methods then do nothing and answer -1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "installer/engine/component_wrapper.h"

namespace fenwald {

// The two events, decoded.
struct VeskProgress {
    int percent = 0;
};
struct VeskStatus {
    int code = 0;
    std::string message;
};
std::optional<VeskProgress> decodeVeskProgress(const platform::ComponentEvent& event);
std::optional<VeskStatus> decodeVeskStatus(const platform::ComponentEvent& event);

}  // namespace fenwald

class CVeskctl1 : public fenwald::ComponentWrapper {
public:
    CVeskctl1();
    explicit CVeskctl1(const platform::ComponentRegistry& registry);

    void SetPort(std::int16_t port);
    void SetBaudRate(std::int32_t baudRate);
    void SetParity(std::int16_t parity);
    void SetDataBits(std::int16_t dataBits);
    void SetStopBits(std::int16_t stopBits);
    void setCharTimeout(std::int32_t milliseconds);    // property 6
    void setAnswerTimeout(std::int32_t milliseconds);  // property 7
    void setRetries(std::int32_t retries);             // property 8
    void SetIrdaType(std::int32_t type);
    std::int16_t ReceiveFile(const std::string& protocol, const std::string& folder,
                             std::int32_t files);
    std::int16_t IsBusy();
    std::int16_t TransmitFile(const std::string& protocol, const std::string& path);

private:
    // The method's I2 result; -1 when it answered nothing.
    std::int16_t call(int dispatchId, const std::vector<platform::DispatchValue>& arguments);
};
