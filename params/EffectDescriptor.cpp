#include "params/EffectDescriptor.h"

#include "params/DescriptorParser.h"

namespace zendal {

namespace {

DescriptorLoader& loaderOverride() {
    static DescriptorLoader loader;
    return loader;
}

bool loadFromCatalogue(const QString& effectName, TControlDescriptor* out, QString* error) {
    return loadDescriptorForEffect(effectName, out, error);
}

}  // namespace

bool loadEffectDescriptor(const QString& effectName, TControlDescriptor* out, QString* error) {
    if (effectName.isEmpty()) {
        if (error) *error = QStringLiteral("No effect is chosen.");
        return false;
    }
    if (loaderOverride()) return loaderOverride()(effectName, out, error);
    return loadFromCatalogue(effectName, out, error);
}

void setDescriptorLoader(DescriptorLoader loader) {
    loaderOverride() = std::move(loader);
}

}  // namespace zendal
