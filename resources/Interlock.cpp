#include "resources/Interlock.h"

#include "resources/ResourceStore.h"

namespace zendal {

QString demonstrationRefusalText() {
    return QStringLiteral(
        "This editor carries demonstration effects and firmware only. They are refused on a "
        "real pedal: install the maker's catalogue (see README) to upload to hardware.");
}

std::optional<QString> refuseDemonstrationDataFor(DeviceKind kind, bool demonstration) {
    if (!demonstration) return std::nullopt;
    switch (kind) {
        case DeviceKind::VirtualInProcess:
        case DeviceKind::PseudoTerminal:
        case DeviceKind::None:
            return std::nullopt;
        case DeviceKind::Hardware:
            break;
    }
    // Hardware, and any kind added later that is not known to be virtual.
    return demonstrationRefusalText();
}

std::optional<QString> refuseDemonstrationDataFor(DeviceKind kind) {
    return refuseDemonstrationDataFor(kind, ResourceStore::instance().isDemonstration());
}

}  // namespace zendal
