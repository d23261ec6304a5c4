#pragma once

#include <QString>
#include <optional>

#include "params/ParameterValues.h"

// A/B compare: two full snapshots of the effect's values and assignments. The
// live slot is what the pedal plays; the other one waits to be switched to.
namespace zendal::tone {

enum class AbSlot { A, B };

class AbCompare {
  public:
    // A new effect: A live, B empty.
    void clear();
    AbSlot live() const { return live_; }
    AbSlot other() const { return live_ == AbSlot::A ? AbSlot::B : AbSlot::A; }
    bool hasOther() const { return other_.has_value(); }

    // The other slot takes what is live now ("Copy to B" while A is live).
    void copyToOther(const PanelSnapshot& current) { other_ = current; }
    // Keeps `current` as the live slot's snapshot, makes the other slot live
    // and returns what the controls move to (bypass stays as it is). Nothing
    // while the other slot is empty.
    std::optional<PanelSnapshot> toggle(const PanelSnapshot& current);

  private:
    AbSlot live_ = AbSlot::A;
    std::optional<PanelSnapshot> other_;
};

QString abSlotName(AbSlot slot);  // "A", "B"

}  // namespace zendal::tone
