#include "params/ParameterValues.h"

#include "params/Assignments.h"
#include "params/PanelMessages.h"
#include "protocol/Messages.h"

namespace zendal::tone {

using Field = ControlRef::Field;
using Kind = TControlDescriptor::Kind;

PanelSnapshot PanelSnapshot::initial(int paramCount, int readbackCount) {
    PanelSnapshot s;
    s.values.fill(0, paramCount);
    s.assignments.fill(assign::kNotAssigned, paramCount);
    s.reverse.fill(false, paramCount);
    s.leds.fill(assign::kNotAssigned, readbackCount);
    return s;
}

PanelSnapshot PanelSnapshot::fromRecord(const SettingsRecord& record, int readbackCount) {
    PanelSnapshot s = initial(record.paramCount, readbackCount);
    for (int i = 0; i < record.paramCount && i < TControlDescriptor::kMaxParams; ++i) {
        s.values[i] = record.values.value(i);
        s.assignments[i] = assign::assignByteForIndex(
            assign::assignIndexForByte(record.assignmentBytes[static_cast<size_t>(i)]));
        s.reverse[i] =
            reverseByteMeaning(record.reverseBytes[static_cast<size_t>(i)]) == ReverseByte::On;
    }
    for (int j = 0; j < readbackCount && j < int(record.ledBytes.size()); ++j)
        s.leds[j] = assign::ledByteForIndex(
            assign::ledIndexForByte(record.ledBytes[static_cast<size_t>(j)]));
    s.bypassFunction =
        assign::functionByteForIndex(assign::functionIndexForByte(record.bypassByte));
    s.presetFunction =
        assign::functionByteForIndex(assign::functionIndexForByte(record.presetByte));
    return s;
}

qint64 PanelSnapshot::get(ControlRef ref) const {
    switch (ref.field) {
        case Field::Value:
            return values.value(ref.index);
        case Field::Assignment:
            return assignments.value(ref.index, assign::kNotAssigned);
        case Field::Led:
            return leds.value(ref.index, assign::kNotAssigned);
        case Field::Reverse:
            return reverse.value(ref.index) ? 1 : 0;
        case Field::BypassFunction:
            return bypassFunction;
        case Field::PresetFunction:
            return presetFunction;
        case Field::Bypass:
            return bypassed ? 1 : 0;
    }
    return 0;
}

void PanelSnapshot::set(ControlRef ref, qint64 value) {
    auto put = [&](auto& list, auto v) {
        if (ref.index >= 0 && ref.index < list.size()) list[ref.index] = v;
    };
    switch (ref.field) {
        case Field::Value:
            put(values, value);
            break;
        case Field::Assignment:
            put(assignments, static_cast<int>(value));
            break;
        case Field::Led:
            put(leds, static_cast<int>(value));
            break;
        case Field::Reverse:
            put(reverse, value != 0);
            break;
        case Field::BypassFunction:
            bypassFunction = static_cast<int>(value);
            break;
        case Field::PresetFunction:
            presetFunction = static_cast<int>(value);
            break;
        case Field::Bypass:
            bypassed = value != 0;
            break;
    }
}

namespace {

bool isParameter(const TControlDescriptor& d, int index) {
    return index >= 0 && index < d.param_count && index < TControlDescriptor::kMaxParams;
}

// The value a control shows, in the units its change handler reads.
qint64 shownValue(const TControlDescriptor& d, int index, qint64 value) {
    switch (d.kind(index)) {
        case Kind::Pot:
            return panel::sliderPositionForValue(value);
        case Kind::Switch:
        case Kind::Button:
            return panel::switchOnForValue(value) ? 1 : 0;
        case Kind::MultiSwitch:
            return panel::choiceForValue(value, d.option_counts[static_cast<size_t>(index)]);
    }
    return value;
}

PlannedMessage parameterChange(const TControlDescriptor& d, int index, qint64 value) {
    const QString& address = d.param_addresses[static_cast<size_t>(index)];
    switch (d.kind(index)) {
        case Kind::Pot: {
            const QString text = panel::parameterMessage(
                address, static_cast<std::uint32_t>(panel::sliderPositionForValue(value)));
            return {text, panel::potLogLine(index, text), true};
        }
        case Kind::Switch: {
            const QString text = panel::parameterMessage(
                address, panel::switchValue(panel::switchOnForValue(value)));
            return {text, panel::switchLogLine(index, text), false};
        }
        case Kind::Button: {
            const QString text = panel::parameterMessage(
                address, panel::switchValue(panel::switchOnForValue(value)));
            return {text, panel::buttonLogLine(index, text), false};
        }
        case Kind::MultiSwitch: {
            const int count = d.option_counts[static_cast<size_t>(index)];
            const QString text = panel::parameterMessage(
                address, panel::multiValue(panel::choiceForValue(value, count), count));
            return {text, panel::multiLogLine(index, text), true};
        }
    }
    return {};
}

PlannedMessage reverseChange(int index, bool on) {
    const QString text = panel::reverseMessage(on, index);
    return {text, text, true};
}

}  // namespace

bool sameShown(const TControlDescriptor& d, ControlRef ref, qint64 a, qint64 b) {
    if (ref.field == Field::Value && isParameter(d, ref.index))
        return shownValue(d, ref.index, a) == shownValue(d, ref.index, b);
    if (ref.field == Field::Reverse || ref.field == Field::Bypass) return (a != 0) == (b != 0);
    return a == b;
}

QVector<PlannedMessage> messagesForControl(const TControlDescriptor& d, ControlRef ref,
                                           qint64 value) {
    switch (ref.field) {
        case Field::Value:
            if (!isParameter(d, ref.index)) return {};
            if (d.kind(ref.index) == Kind::MultiSwitch &&
                d.option_counts[static_cast<size_t>(ref.index)] <= 0)
                return {};  // a list without choices selects nothing
            return {parameterChange(d, ref.index, value)};
        case Field::Reverse:
            if (!isParameter(d, ref.index)) return {};
            return {reverseChange(ref.index, value != 0)};
        case Field::Bypass:
            return {PlannedMessage{messages::bypass(value != 0), QString(), false}};
        case Field::Assignment:
        case Field::Led:
        case Field::BypassFunction:
        case Field::PresetFunction:
            return {};
    }
    return {};
}

QVector<PlannedMessage> planSnapshotChange(const TControlDescriptor& d, const PanelSnapshot& from,
                                           const PanelSnapshot& to) {
    QVector<PlannedMessage> out;
    const int n = std::min<int>(d.param_count, TControlDescriptor::kMaxParams);
    for (int i = 0; i < n; ++i) {
        const ControlRef ref = valueOf(i);
        if (sameShown(d, ref, from.get(ref), to.get(ref))) continue;
        out += messagesForControl(d, ref, to.get(ref));
    }
    QVector<bool> ticked = from.reverse;
    ticked.resize(n);
    for (int i = 0; i < n; ++i) {
        const int before = static_cast<int>(from.get(assignmentOf(i)));
        const int after = static_cast<int>(to.get(assignmentOf(i)));
        // A list turning to none unticks its box, which sends the reverse-off.
        if (before != after && after == assign::kNotAssigned && ticked[i]) {
            ticked[i] = false;
            out.append(reverseChange(i, false));
        }
    }
    for (int i = 0; i < n; ++i) {
        const bool wanted = to.get(reverseOf(i)) != 0;
        if (ticked[i] == wanted) continue;
        out.append(reverseChange(i, wanted));
    }
    if (from.bypassed != to.bypassed)
        out += messagesForControl(d, {Field::Bypass, 0}, to.bypassed ? 1 : 0);
    return out;
}

void ParameterValues::reset(const TControlDescriptor& descriptor) {
    descriptor_ = descriptor;
    current_ = PanelSnapshot::initial(descriptor.param_count, descriptor.readback_count);
}

QVector<PlannedMessage> ParameterValues::setByUser(ControlRef ref, qint64 value) {
    QVector<PlannedMessage> out = messagesForControl(descriptor_, ref, value);
    current_.set(ref, value);
    if (ref.field == Field::Assignment && value == assign::kNotAssigned &&
        current_.get(reverseOf(ref.index)) != 0) {
        current_.set(reverseOf(ref.index), 0);
        out += messagesForControl(descriptor_, reverseOf(ref.index), 0);
    }
    return out;
}

QVector<PlannedMessage> ParameterValues::moveTo(const PanelSnapshot& target) {
    QVector<PlannedMessage> out = planSnapshotChange(descriptor_, current_, target);
    current_ = target;
    return out;
}

void ParameterValues::applyRecord(const SettingsRecord& record) {
    PanelSnapshot next = PanelSnapshot::fromRecord(record, descriptor_.readback_count);
    // A record for another count of parameters still leaves one entry per control.
    const PanelSnapshot blank =
        PanelSnapshot::initial(descriptor_.param_count, descriptor_.readback_count);
    next.values.resize(blank.values.size());
    next.assignments.resize(blank.assignments.size());
    next.reverse.resize(blank.reverse.size());
    for (int i = record.paramCount; i < descriptor_.param_count; ++i)
        next.assignments[i] = assign::kNotAssigned;
    next.bypassed = current_.bypassed;  // the record does not carry it
    current_ = next;
}

void ParameterValues::applyReport(int index, qint64 value) {
    if (!isParameter(descriptor_, index)) return;
    const Kind kind = descriptor_.kind(index);
    if (kind == Kind::Switch || kind == Kind::Button) value = panel::switchValue(value != 0);
    if (kind == Kind::Pot) value = panel::sliderPositionForValue(value);
    current_.set(valueOf(index), value);
}

}  // namespace zendal::tone
