#pragma once

#include <QString>
#include <optional>

#include "link/FtTypes.h"

namespace zendal {

// The refusal shown when demonstration effects or firmware would go to a real pedal.
QString demonstrationRefusalText();

// Demonstration effect images and firmware may only reach the virtual pedal (in
// process or behind a pseudo-terminal). Returns the refusal message when the
// catalogue in use is demonstration data and `kind` is a real device; nullopt
// when sending is allowed. With no device open (None) nothing can reach
// hardware, so nothing is refused here: the write itself fails as usual.
std::optional<QString> refuseDemonstrationDataFor(DeviceKind kind);

// The same rule with the catalogue's state given (for callers that already know it).
std::optional<QString> refuseDemonstrationDataFor(DeviceKind kind, bool demonstration);

}  // namespace zendal
