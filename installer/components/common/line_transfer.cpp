#include "installer/components/common/line_transfer.h"

#include "serial/serial_com.h"

namespace fenwald {

// Waits for serial/ymodem.h.
TransferResult sendYmodemBatch(CSerialCom&, const std::vector<OutgoingFile>&,
                               const TransferTimeouts&, const platform::CancelFlag&,
                               const TransferProgress&) {
    return {TransferOutcome::ProtocolError, "YMODEM is not built in yet", {}};
}

TransferResult receiveYmodemBatch(CSerialCom&, const std::string&, const TransferTimeouts&,
                                  const platform::CancelFlag&, const TransferProgress&) {
    return {TransferOutcome::ProtocolError, "YMODEM is not built in yet", {}};
}

}  // namespace fenwald
