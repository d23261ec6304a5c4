#pragma once

#include <QString>
#include <QVector>

#include "params/ParameterValues.h"

// What the pedal keeps in its memory, as far as the editor knows it: taken
// after a successful store or a settings request, and compared with what the
// window shows so a changed control can be marked.
namespace zendal::tone {

class StoredValues {
  public:
    // A new effect: nothing known until the next request or store.
    void clear() { known_ = false; }
    void remember(const PanelSnapshot& stored) {
        stored_ = stored;
        known_ = true;
    }
    bool known() const { return known_; }
    const PanelSnapshot& stored() const { return stored_; }

    // Whether the control shows something else than the stored value (false
    // while nothing is known; bypass is not kept by the pedal).
    bool differs(const TControlDescriptor& d, const PanelSnapshot& current, ControlRef ref) const;
    // Every control that differs: values, assignments, reverse boxes, LEDs, functions.
    QVector<ControlRef> differing(const TControlDescriptor& d, const PanelSnapshot& current) const;
    bool hasUnstoredChanges(const TControlDescriptor& d, const PanelSnapshot& current) const {
        return !differing(d, current).isEmpty();
    }
    // The stored values with the rest of `current` (bypass) kept: what
    // "Revert to Stored" moves to.
    PanelSnapshot revertTarget(const PanelSnapshot& current) const;

  private:
    PanelSnapshot stored_;
    bool known_ = false;
};

// The accessible description of a control that differs from the stored value.
QString changedSinceStoredDescription();
// The window caption, with a note while there are unstored changes.
QString captionWithStoredState(const QString& caption, bool unstoredChanges);

}  // namespace zendal::tone
