#include "params/StoredValues.h"

namespace zendal::tone {

using Field = ControlRef::Field;

bool StoredValues::differs(const TControlDescriptor& d, const PanelSnapshot& current,
                           ControlRef ref) const {
    if (!known_ || ref.field == Field::Bypass) return false;
    return !sameShown(d, ref, current.get(ref), stored_.get(ref));
}

QVector<ControlRef> StoredValues::differing(const TControlDescriptor& d,
                                            const PanelSnapshot& current) const {
    QVector<ControlRef> out;
    if (!known_) return out;
    auto check = [&](ControlRef ref) {
        if (differs(d, current, ref)) out.append(ref);
    };
    for (int i = 0; i < d.param_count && i < current.values.size(); ++i) check({Field::Value, i});
    for (int i = 0; i < d.param_count && i < current.assignments.size(); ++i)
        check({Field::Assignment, i});
    for (int i = 0; i < d.param_count && i < current.reverse.size(); ++i)
        check({Field::Reverse, i});
    for (int j = 0; j < d.readback_count && j < current.leds.size(); ++j) check({Field::Led, j});
    check({Field::BypassFunction, 0});
    check({Field::PresetFunction, 0});
    return out;
}

PanelSnapshot StoredValues::revertTarget(const PanelSnapshot& current) const {
    if (!known_) return current;
    PanelSnapshot target = stored_;
    target.bypassed = current.bypassed;
    return target;
}

QString changedSinceStoredDescription() {
    return QStringLiteral("Changed since stored on the pedal");
}

QString captionWithStoredState(const QString& caption, bool unstoredChanges) {
    return unstoredChanges ? caption + QStringLiteral(" - unstored changes") : caption;
}

}  // namespace zendal::tone
