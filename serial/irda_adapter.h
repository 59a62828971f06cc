// How an IrDA adapter or cradle on the line is switched to a new baud rate: a sequence of
// DTR/RTS pulses, pauses, a control byte and purges that depends on the adapter type. The
// sequence is data so it can be read and checked on its own; CSerialCom runs it.
#pragma once

#include <string>
#include <vector>

namespace serial {

// Adapter types as the RS232 monitor's menu numbers them.
namespace irda {
constexpr int None = 0, LiteLink = 1, Tekram = 2, Actisys = 3, Kwd4400 = 4;
}

struct IrdaStep {
    enum Kind {
        Dtr,    // value 1 on, 0 off
        Rts,    // value 1 on, 0 off
        Wait,   // value milliseconds
        Write,  // value the byte
        Purge,
        LineTo9600,   // keep the line settings, then 9600 baud, 8 data bits, no parity, 1 stop bit
        RestoreLine,  // the kept line settings again
    } kind;
    int value = 0;

    bool operator==(const IrdaStep&) const = default;
    std::string text() const;  // "DTR on", "wait 200", "write 10", "purge", ...
};

std::vector<IrdaStep> irdaAdapterSteps(int adapterType, unsigned baudRate);

}  // namespace serial
