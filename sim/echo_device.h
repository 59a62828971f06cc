// The loopback device: sends back every byte it receives.
#pragma once

#include "sim/sim_device.h"

namespace sim {

class EchoDevice final : public SimDevice {
public:
    ~EchoDevice() override { stop(); }

protected:
    void serve(std::stop_token stop) override;
};

}  // namespace sim
