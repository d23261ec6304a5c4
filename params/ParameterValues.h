#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

#include "params/ControlDescriptor.h"
#include "params/PresetPlan.h"
#include "params/SettingsRecord.h"

// The values of the parameter window without the window: what every control
// of the effect shows, fed by the user's changes and, separately, by what the
// pedal reports. It also works out the messages a change sends, so undo, redo,
// revert and A/B send exactly what the controls would have sent.
namespace zendal::tone {

using preset::PlannedMessage;

// One thing the user can change in the parameter window.
struct ControlRef {
    enum class Field {
        Value,           // slider, switch, push button or choice list of parameter `index`
        Assignment,      // assignment list of parameter `index` (byte, 0xFF none)
        Led,             // LED list of readback `index` (byte, 0xFF none)
        Reverse,         // reverse box of parameter `index` (0 or 1)
        BypassFunction,  // bypass list (function byte, 0xFF none)
        PresetFunction,  // preset list (function byte, 0xFF none)
        Bypass,          // the effect bypassed (0 or 1)
    };
    Field field = Field::Value;
    int index = 0;

    friend bool operator==(const ControlRef&, const ControlRef&) = default;
};

inline ControlRef valueOf(int i) {
    return {ControlRef::Field::Value, i};
}
inline ControlRef assignmentOf(int i) {
    return {ControlRef::Field::Assignment, i};
}
inline ControlRef ledOf(int j) {
    return {ControlRef::Field::Led, j};
}
inline ControlRef reverseOf(int i) {
    return {ControlRef::Field::Reverse, i};
}

// Everything the window shows for one effect, in the pedal's encoding.
struct PanelSnapshot {
    QVector<qint64> values;     // per parameter: 0..1023 pots, 0/1024 switches, k x step
    QVector<int> assignments;   // per parameter: 0x00..0x0B, 0xFF none
    QVector<int> leds;          // per readback: 0x00..0x03, 0xFF none
    QVector<bool> reverse;      // per parameter
    int bypassFunction = 0xFF;  // 0x08..0x0A, 0xFF none
    int presetFunction = 0xFF;  // 0x08..0x0A, 0xFF none
    bool bypassed = false;

    // N parameters and R readbacks at their initial state: values 0, nothing assigned.
    static PanelSnapshot initial(int paramCount, int readbackCount);
    // What a settings reply says, for R readbacks.
    static PanelSnapshot fromRecord(const SettingsRecord& record, int readbackCount);

    qint64 get(ControlRef ref) const;
    void set(ControlRef ref, qint64 value);

    friend bool operator==(const PanelSnapshot&, const PanelSnapshot&) = default;
};

// Whether two values of a control show alike (a pedal's 1023 and the user's
// 682 are the same choice of three; any value above 0 turns a switch on).
bool sameShown(const TControlDescriptor& d, ControlRef ref, qint64 a, qint64 b);

// The message the control sends when it changes to `value`: parameter
// messages with the sender's log line, reverse and bypass messages. Lists of
// assignments, LEDs and functions send nothing (Assign does), so none.
QVector<PlannedMessage> messagesForControl(const TControlDescriptor& d, ControlRef ref,
                                           qint64 value);

// What the window sends when its controls go from `from` to `to` together, in
// the order a preset load sends them: changed value controls by index (push
// buttons included, with their own log line), the reverse-off of a ticked box
// whose assignment turns to none, then every reverse box that changes, then bypass.
QVector<PlannedMessage> planSnapshotChange(const TControlDescriptor& d, const PanelSnapshot& from,
                                           const PanelSnapshot& to);

// The model: the effect's descriptor and the values its controls show.
class ParameterValues {
  public:
    // A new effect: every value back to its initial state.
    void reset(const TControlDescriptor& descriptor);
    const TControlDescriptor& descriptor() const { return descriptor_; }
    const PanelSnapshot& current() const { return current_; }
    qint64 value(ControlRef ref) const { return current_.get(ref); }

    // A change made by the user: the new value, plus what follows from it
    // (an assignment set to none unticks the reverse box).
    QVector<PlannedMessage> setByUser(ControlRef ref, qint64 value);
    // Every control to `target` at once; the messages of those that change.
    QVector<PlannedMessage> moveTo(const PanelSnapshot& target);

    // The pedal's side: a settings reply (values, assignments, LEDs, reverse,
    // functions) and a control report of one parameter. Nothing is sent.
    void applyRecord(const SettingsRecord& record);
    void applyReport(int index, qint64 value);

  private:
    TControlDescriptor descriptor_;
    PanelSnapshot current_;
};

}  // namespace zendal::tone
