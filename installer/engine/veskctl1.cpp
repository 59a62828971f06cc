#include "installer/engine/veskctl1.h"

#include "installer/engine/transfer_interface.h"

using namespace fenwald;

namespace fenwald {

std::optional<VeskProgress> decodeVeskProgress(const platform::ComponentEvent& e) {
    if (e.dispatchId != vesk::kProgressEvent || e.arguments.size() != 3) return std::nullopt;
    auto percent = platform::dispatchAs<std::int16_t>(e.arguments[0]);
    if (!percent) return std::nullopt;
    return VeskProgress{*percent};
}

std::optional<VeskStatus> decodeVeskStatus(const platform::ComponentEvent& e) {
    if (e.dispatchId != vesk::kStatusEvent || e.arguments.size() != 4) return std::nullopt;
    auto code = platform::dispatchAs<std::int16_t>(e.arguments[0]);
    auto message = platform::dispatchAs<std::string>(e.arguments[1]);
    if (!code || !message) return std::nullopt;
    return VeskStatus{*code, *message};
}

}  // namespace fenwald

CVeskctl1::CVeskctl1()
    : CVeskctl1(platform::ComponentRegistry(platform::componentRegistryPath())) {}

CVeskctl1::CVeskctl1(const platform::ComponentRegistry& registry)
    : ComponentWrapper(registry, vesk::kClassId, std::string("The file transfer ") + vesk::kProgId,
                       vesk::kCancel) {}

std::int16_t CVeskctl1::call(int dispatchId, const std::vector<platform::DispatchValue>& args) {
    auto result = invoke(dispatchId, args);
    if (!result) return -1;
    return platform::dispatchAs<std::int16_t>(*result).value_or(0);
}

void CVeskctl1::SetPort(std::int16_t port) {
    setProperty(vesk::kPort, port);
}
void CVeskctl1::SetBaudRate(std::int32_t baudRate) {
    setProperty(vesk::kBaudRate, baudRate);
}
void CVeskctl1::SetParity(std::int16_t parity) {
    setProperty(vesk::kParity, parity);
}
void CVeskctl1::SetDataBits(std::int16_t dataBits) {
    setProperty(vesk::kDataBits, dataBits);
}
void CVeskctl1::SetStopBits(std::int16_t stopBits) {
    setProperty(vesk::kStopBits, stopBits);
}
void CVeskctl1::setCharTimeout(std::int32_t milliseconds) {
    setProperty(vesk::kCharTimeout, milliseconds);
}
void CVeskctl1::setAnswerTimeout(std::int32_t milliseconds) {
    setProperty(vesk::kAnswerTimeout, milliseconds);
}
void CVeskctl1::setRetries(std::int32_t retries) {
    setProperty(vesk::kRetries, retries);
}
void CVeskctl1::SetIrdaType(std::int32_t type) {
    setProperty(vesk::kIrdaType, type);
}

std::int16_t CVeskctl1::ReceiveFile(const std::string& protocol, const std::string& folder,
                                    std::int32_t files) {
    return call(vesk::kReceiveFile, {protocol, folder, files});
}

std::int16_t CVeskctl1::IsBusy() {
    return call(vesk::kIsBusy, {});
}

std::int16_t CVeskctl1::TransmitFile(const std::string& protocol, const std::string& path) {
    return call(vesk::kTransmitFile, {protocol, path});
}
