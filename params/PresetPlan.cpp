#include "params/PresetPlan.h"

#include "params/Assignments.h"
#include "params/PanelMessages.h"

namespace zendal::preset {

ShownState ShownState::fromRecord(const SettingsRecord& record) {
    ShownState s;
    for (int i = 0; i < record.paramCount; ++i) {
        s.values << record.values.value(i);
        s.assignIndex << assign::assignIndexForByte(record.assignmentBytes[i]);
        const bool on = reverseByteMeaning(record.reverseBytes[i]) == ReverseByte::On;
        s.reverseTicked << on;
        s.reverseFlags << on;
    }
    return s;
}

QVector<PlannedMessage> planPresetLoad(const TControlDescriptor& d, ShownState shown,
                                       const PresetContents& file) {
    QVector<PlannedMessage> out;
    const int n = d.param_count;
    shown.values.resize(n);
    shown.assignIndex.resize(n);
    shown.reverseTicked.resize(n);
    shown.reverseFlags.resize(n);
    auto value = [&](int i) { return i < file.values.size() ? qint64(file.values[i]) : 0; };

    for (int i = 0; i < n; ++i) {
        const QString& address = d.param_addresses[i];
        switch (d.kind(i)) {
            case TControlDescriptor::Kind::Pot: {
                const int now = panel::sliderPositionForValue(shown.values[i]);
                const int next = panel::sliderPositionForValue(value(i));
                if (now == next) break;
                const QString text =
                    panel::parameterMessage(address, static_cast<std::uint32_t>(next));
                out.append({text, panel::potLogLine(i, text), true});
                break;
            }
            case TControlDescriptor::Kind::Switch: {
                const bool now = panel::switchOnForValue(shown.values[i]);
                const bool next = panel::switchOnForValue(value(i));
                if (now == next) break;
                const QString text = panel::parameterMessage(address, panel::switchValue(next));
                out.append({text, panel::switchLogLine(i, text), false});
                break;
            }
            case TControlDescriptor::Kind::Button:
                break;  // push buttons are left alone
            case TControlDescriptor::Kind::MultiSwitch: {
                const int count = d.option_counts[i];
                const int now = panel::choiceForValue(shown.values[i], count);
                const int next = panel::choiceForValue(value(i), count);
                if (now == next || next < 0) break;
                const QString text =
                    panel::parameterMessage(address, panel::multiValue(next, count));
                out.append({text, panel::multiLogLine(i, text), true});
                break;
            }
        }
    }

    auto setTicked = [&](int i, bool ticked) {
        if (shown.reverseTicked[i] == ticked) return;
        shown.reverseTicked[i] = ticked;
        shown.reverseFlags[i] = ticked;
        const QString text = panel::reverseMessage(ticked, i);
        out.append({text, text, true});
    };
    for (int i = 0; i < n; ++i) {
        const int next = assign::assignIndexForByte(
            i < file.assignments.size() ? file.assignments[i] : assign::kNotAssigned);
        if (next == shown.assignIndex[i]) continue;
        shown.assignIndex[i] = next;
        if (next == assign::kAssignNoneIndex) setTicked(i, false);
    }
    for (int i = 0; i < n; ++i) {
        const QChar flag = i < file.reverse.size() ? file.reverse[i] : QChar();
        if (flag == u'1') shown.reverseFlags[i] = true;
        if (flag == u'0') shown.reverseFlags[i] = false;
        setTicked(i, shown.reverseFlags[i]);
    }
    return out;
}

}  // namespace zendal::preset
