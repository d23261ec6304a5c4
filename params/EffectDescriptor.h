#pragma once

#include <QString>
#include <functional>

#include "params/ControlDescriptor.h"

namespace zendal {

// The descriptor of an effect, by display name: its control descriptor and the
// parameter address table of its image, from the catalogue. False with a reason
// (naming the effect) when either cannot be read or is refused.
bool loadEffectDescriptor(const QString& effectName, TControlDescriptor* out, QString* error);

// Replaces where descriptors come from (tests); an empty function restores the catalogue.
using DescriptorLoader =
    std::function<bool(const QString& effectName, TControlDescriptor* out, QString* error)>;
void setDescriptorLoader(DescriptorLoader loader);

}  // namespace zendal
