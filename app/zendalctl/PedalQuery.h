#pragma once

#include <optional>

#include "app/zendalctl/Command.h"
#include "core/Errors.h"
#include "protocol/PedalInfo.h"

namespace zendal::ctl {

// Opens the device and asks it which effect, version and firmware it holds.
// Says why on ctx.err and returns nothing when it cannot. With `silent` given,
// a pedal that does not answer sets it instead of being reported.
inline std::optional<PedalInfo> askPedalInfo(Context& ctx, bool* silent = nullptr) {
    if (!ctx.openDevice()) return std::nullopt;
    const PedalInfoReply reply = queryPedalInfo(*ctx.connection);
    if (silent && reply.outcome == ExchangeResult::Outcome::TimedOut) {
        *silent = true;
        return std::nullopt;
    }
    if (!reply.ok()) {
        ctx.err << "zendalctl: "
                << (reply.outcome == ExchangeResult::Outcome::TimedOut
                        ? "no reply from the pedal to the device information request"
                        : "the port failed")
                << "\n";
        return std::nullopt;
    }
    try {
        const PedalInfo info = parsePedalInfo(reply.reply);
        if (const auto problem = implausiblePedalInfo(info)) {
            ctx.err << "zendalctl: unexpected device information: " << *problem << "\n";
            return std::nullopt;
        }
        return info;
    } catch (const ConversionError& e) {
        ctx.err << "zendalctl: unexpected device information: " << e.message() << "\n";
        return std::nullopt;
    }
}

}  // namespace zendal::ctl
