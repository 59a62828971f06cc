#include "serial/irda_adapter.h"

#include <cstdio>
#include <optional>
#include <utility>

namespace serial {

namespace {

using Rates = std::initializer_list<std::pair<unsigned, int>>;

std::optional<int> lookup(Rates table, unsigned baud) {
    for (auto [rate, value] : table)
        if (rate == baud) return value;
    return std::nullopt;
}

constexpr IrdaStep dtr(bool on) {
    return {IrdaStep::Dtr, on ? 1 : 0};
}
constexpr IrdaStep rts(bool on) {
    return {IrdaStep::Rts, on ? 1 : 0};
}
constexpr IrdaStep wait(int ms) {
    return {IrdaStep::Wait, ms};
}

// Pulses counted in DTR (LiteLink, KWD4400): the same shape, different pause lengths.
std::vector<IrdaStep> dtrPulses(std::optional<int> pulses, int resetPause, int settlePause,
                                int pulsePause) {
    if (!pulses) return {rts(true), dtr(true)};  // a rate the adapter cannot do
    std::vector<IrdaStep> s = {dtr(false), rts(false),        wait(resetPause), dtr(true),
                               rts(true),  wait(settlePause), rts(false),       wait(pulsePause),
                               rts(true),  wait(pulsePause)};
    for (int i = 0; i < *pulses; ++i)
        s.insert(s.end(), {dtr(false), wait(pulsePause), dtr(true), wait(pulsePause)});
    return s;
}

}  // namespace

std::string IrdaStep::text() const {
    char buf[32];
    switch (kind) {
        case Dtr:
            return value ? "DTR on" : "DTR off";
        case Rts:
            return value ? "RTS on" : "RTS off";
        case Wait:
            return "wait " + std::to_string(value);
        case Write:
            std::snprintf(buf, sizeof buf, "write %02X", value & 0xFF);
            return buf;
        case Purge:
            return "purge";
        case LineTo9600:
            return "line 9600 8N1";
        case RestoreLine:
            return "restore line";
    }
    return {};
}

std::vector<IrdaStep> irdaAdapterSteps(int type, unsigned baud) {
    if (type <= irda::None) return {};
    if (type == irda::LiteLink) {
        auto pulses = lookup(
            {{115200, 0}, {57600, 1}, {38400, 2}, {19200, 3}, {9600, 4}, {4800, 5}, {2400, 6}},
            baud);
        return dtrPulses(pulses, 200, 10, 2);
    }
    if (type == irda::Tekram) {
        int control = lookup({{115200, 0x10},
                              {57600, 0x11},
                              {38400, 0x12},
                              {19200, 0x13},
                              {9600, 0x14},
                              {2400, 0x18}},
                             baud)
                          .value_or(0x10);
        return {{IrdaStep::LineTo9600},
                rts(false),
                dtr(false),
                wait(100),
                rts(true),
                dtr(true),
                wait(100),
                rts(false),
                dtr(false),
                wait(100),
                rts(true),
                wait(2),
                dtr(true),
                wait(2),
                rts(false),
                wait(7),
                {IrdaStep::Write, control},
                wait(50),
                rts(true),
                {IrdaStep::RestoreLine}};
    }
    if (type == irda::Actisys) {
        int pulses =
            lookup({{9600, 0}, {19200, 1}, {57600, 2}, {115200, 3}, {38400, 4}}, baud).value_or(0);
        std::vector<IrdaStep> s = {dtr(true), rts(true), wait(50),  dtr(false), rts(true),
                                   wait(1),   dtr(true), rts(true), wait(1)};
        for (int i = 0; i < pulses; ++i)
            s.insert(s.end(), {wait(1), dtr(true), rts(false), wait(1), dtr(true), rts(true)});
        s.push_back({IrdaStep::Purge});
        return s;
    }
    auto pulses =
        lookup({{115200, 1}, {38400, 2}, {19200, 3}, {9600, 4}, {4800, 5}, {2400, 6}}, baud);
    std::vector<IrdaStep> s = dtrPulses(pulses, 30, 30, 1);
    if (pulses) s.push_back({IrdaStep::Purge});
    return s;
}

}  // namespace serial
