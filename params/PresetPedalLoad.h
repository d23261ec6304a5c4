#pragma once

#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "params/ControlDescriptor.h"
#include "params/PresetFile.h"
#include "params/PresetPlan.h"
#include "params/SettingsRecord.h"

namespace zendal {
class PedalConnection;
}

// A preset put on the pedal without the parameter window (zendalctl's preset
// load, a backup's restore): the window's value and reverse messages, then one
// Assign message when the file's assignments or LEDs differ from the pedal's.
namespace zendal::preset {

// The two footswitch function bytes the Assign message carries; the pedal's
// own are kept unless others are given.
struct FunctionBytes {
    std::uint8_t bypass = 0xFF;
    std::uint8_t preset = 0xFF;
};

struct PedalLoad {
    QVector<PlannedMessage> messages;
    bool assigns = false;  // the last message is the Assign message
};

PedalLoad planPedalLoad(const TControlDescriptor& descriptor, const SettingsRecord& pedal,
                        const PresetContents& file,
                        std::optional<FunctionBytes> functions = std::nullopt);

// Writes the messages in order, each with the pause the pedal needs after it
// (a parameter 1 ms, Assign 100 ms), each logged as the window logs it.
// `sent` hears every message written. False at the first that cannot be
// written, with the reason.
bool sendPlanned(PedalConnection& connection, const QVector<PlannedMessage>& messages,
                 const std::function<void(const QString&)>& sent, QString* error);

}  // namespace zendal::preset
