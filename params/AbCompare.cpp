#include "params/AbCompare.h"

namespace zendal::tone {

void AbCompare::clear() {
    live_ = AbSlot::A;
    other_.reset();
}

std::optional<PanelSnapshot> AbCompare::toggle(const PanelSnapshot& current) {
    if (!other_) return std::nullopt;
    PanelSnapshot target = *other_;
    target.bypassed = current.bypassed;
    other_ = current;
    live_ = other();
    return target;
}

QString abSlotName(AbSlot slot) {
    return slot == AbSlot::A ? QStringLiteral("A") : QStringLiteral("B");
}

}  // namespace zendal::tone
