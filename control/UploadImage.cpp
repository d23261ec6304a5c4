#include "control/UploadImage.h"

#include "effects/EffectCatalogue.h"
#include "link/FrameCodec.h"
#include "protocol/Messages.h"
#include "resources/Interlock.h"

namespace zendal::upload {

bool isUploadCode(std::uint8_t code) {
    return code == 0x00 || code == 0x0E || code == 0x0F || code == 0x10;
}

namespace {
Prepared refused(const QString& text) {
    Prepared p;
    p.error = text + QStringLiteral(" Nothing was sent.");
    return p;
}
}  // namespace

Prepared prepareUploadImage(const Source& source) {
    if (source.selectedEffect.isEmpty())
        return refused(QStringLiteral("Choose an effect in the effects list first."));

    Prepared p;
    if (source.currentCategory == QLatin1String("Impulse Response")) {
        // The image source follows the category shown, so an impulse response
        // must have been loaded for exactly the chosen effect.
        if (source.preparedIrImage.isEmpty())
            return refused(QStringLiteral("No impulse response has been loaded for \"%1\": "
                                          "choose File > Load IR first.")
                               .arg(source.selectedEffect));
        if (source.preparedIrEffect != source.selectedEffect)
            return refused(QStringLiteral("The impulse response loaded was prepared for \"%1\", "
                                          "not for \"%2\": load it again for \"%2\" "
                                          "(File > Load IR).")
                               .arg(source.preparedIrEffect, source.selectedEffect));
        p.text = source.preparedIrImage;
        p.fromIr = true;
    } else {
        p.resourceName = format_resource_name(source.selectedEffect);
        QString error;
        p.text = effect_image_text(source.selectedEffect, &error);
        if (p.text.isEmpty())
            return refused(error.isEmpty() ? QStringLiteral("The effect image of \"%1\" is empty.")
                                                 .arg(source.selectedEffect)
                                           : error);
    }

    // A pair that is not hexadecimal would send the transmit buffer's leftovers.
    if (!IsHexText(p.text))
        return refused(QStringLiteral("The effect image of \"%1\" is damaged: it holds characters "
                                      "that are not pairs of hexadecimal digits.")
                           .arg(source.selectedEffect));
    p.bytes = int(p.text.size() / 2);
    if (p.bytes < 3)
        return refused(QStringLiteral("The effect image of \"%1\" is too short to be an effect.")
                           .arg(source.selectedEffect));
    if (p.bytes > kMaxImageBytes)
        return refused(QStringLiteral("The effect image of \"%1\" is larger than %2 bytes.")
                           .arg(source.selectedEffect)
                           .arg(kMaxImageBytes));

    if (source.bankMode) {
        if (source.bank < 0 || source.bank > 2)
            return refused(QStringLiteral("Choose Bank I, Bank II or Bank III first."));
        // Whatever the lists showed when they were filled: the slot holds no more.
        if (p.bytes > kBankModeSizeLimit)
            return refused(QStringLiteral("The effect image of \"%1\" is %2 bytes; a bank slot "
                                          "takes at most %3 bytes.")
                               .arg(source.selectedEffect)
                               .arg(p.bytes)
                               .arg(kBankModeSizeLimit));
        p.text = messages::imageForDestination(p.text, source.bank);
    }

    if (const auto refusal = refuseDemonstrationDataFor(source.device)) return refused(*refusal);
    return p;
}

}  // namespace zendal::upload
