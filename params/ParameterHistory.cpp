#include "params/ParameterHistory.h"

#include <algorithm>

namespace zendal::tone {

using Field = ControlRef::Field;

namespace {

// Every field that differs between the two snapshots.
QVector<FieldChange> differences(const PanelSnapshot& before, const PanelSnapshot& after) {
    QVector<FieldChange> out;
    auto compare = [&](ControlRef ref) {
        const qint64 a = before.get(ref), b = after.get(ref);
        if (a != b) out.append({ref, a, b});
    };
    for (int i = 0; i < after.values.size(); ++i) compare({Field::Value, i});
    for (int i = 0; i < after.assignments.size(); ++i) compare({Field::Assignment, i});
    for (int i = 0; i < after.reverse.size(); ++i) compare({Field::Reverse, i});
    for (int j = 0; j < after.leds.size(); ++j) compare({Field::Led, j});
    compare({Field::BypassFunction, 0});
    compare({Field::PresetFunction, 0});
    compare({Field::Bypass, 0});
    return out;
}

}  // namespace

QVector<PlannedMessage> ParameterHistory::change(ControlRef ref, qint64 value, bool dragging) {
    const PanelSnapshot before = values_.current();
    QVector<PlannedMessage> sent = values_.setByUser(ref, value);
    push(before, describe(ref), dragging ? std::optional<ControlRef>(ref) : std::nullopt);
    return sent;
}

void ParameterHistory::endDrag() {
    openDrag_.reset();
}

QVector<PlannedMessage> ParameterHistory::changeAll(const PanelSnapshot& target,
                                                    const QString& text) {
    const PanelSnapshot before = values_.current();
    QVector<PlannedMessage> sent = values_.moveTo(target);
    push(before, text, std::nullopt);
    return sent;
}

void ParameterHistory::recordSince(const PanelSnapshot& before, const QString& text) {
    push(before, text, std::nullopt);
}

void ParameterHistory::push(const PanelSnapshot& before, const QString& text,
                            std::optional<ControlRef> drag) {
    const QVector<FieldChange> changes = differences(before, values_.current());
    const bool merges =
        drag && openDrag_ && *drag == *openDrag_ && index_ == steps_.size() && !steps_.isEmpty();
    if (merges) {
        HistoryStep& last = steps_.last();
        for (const FieldChange& c : changes) {
            auto same = [&](const FieldChange& e) { return e.ref == c.ref; };
            auto it = std::find_if(last.changes.begin(), last.changes.end(), same);
            if (it == last.changes.end())
                last.changes.append(c);
            else
                it->after = c.after;
        }
        // A drag that ends where it began leaves nothing to undo.
        last.changes.removeIf([](const FieldChange& c) { return c.before == c.after; });
        if (last.changes.isEmpty()) {
            steps_.removeLast();
            index_ = int(steps_.size());
            openDrag_.reset();
        }
        return;
    }
    // Only a drag that made a step can take more changes into it.
    openDrag_.reset();
    if (changes.isEmpty()) return;
    steps_.resize(index_);  // what could be redone is gone
    steps_.append({text, changes});
    index_ = int(steps_.size());
    openDrag_ = drag;
}

QVector<PlannedMessage> ParameterHistory::travel(const HistoryStep& step, bool back) {
    PanelSnapshot target = values_.current();
    for (const FieldChange& c : step.changes) target.set(c.ref, back ? c.before : c.after);
    return values_.moveTo(target);
}

QVector<PlannedMessage> ParameterHistory::undo() {
    openDrag_.reset();
    if (!canUndo()) return {};
    --index_;
    return travel(steps_[index_], true);
}

QVector<PlannedMessage> ParameterHistory::redo() {
    openDrag_.reset();
    if (!canRedo()) return {};
    ++index_;
    return travel(steps_[index_ - 1], false);
}

void ParameterHistory::clear() {
    steps_.clear();
    index_ = 0;
    openDrag_.reset();
}

QString ParameterHistory::describe(ControlRef ref) const {
    const TControlDescriptor& d = values_.descriptor();
    auto parameterName = [&](int i) {
        if (i < 0 || i >= TControlDescriptor::kMaxParams) return QString();
        const QString& caption = d.captions[static_cast<size_t>(i)];
        return caption.isEmpty() ? d.control_names[static_cast<size_t>(i)] : caption;
    };
    switch (ref.field) {
        case Field::Value:
            return parameterName(ref.index);
        case Field::Assignment:
            return parameterName(ref.index) + QStringLiteral(" assignment");
        case Field::Reverse:
            return parameterName(ref.index) + QStringLiteral(" reverse");
        case Field::Led:
            if (ref.index < 0 || ref.index >= TControlDescriptor::kMaxReadbacks) return {};
            return d.readback_names[static_cast<size_t>(ref.index)] + QStringLiteral(" LED");
        case Field::BypassFunction:
            return QStringLiteral("Bypass Toggle");
        case Field::PresetFunction:
            return QStringLiteral("Preset Change");
        case Field::Bypass:
            return QStringLiteral("Bypass");
    }
    return {};
}

}  // namespace zendal::tone
