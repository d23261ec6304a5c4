#pragma once

#include <QString>
#include <cstdint>

#include "link/FtTypes.h"

// What an effect upload sends, decided before anything goes to the pedal: the
// image source (the catalogue, or the image prepared with an impulse
// response), the bank destination code, and every reason to refuse.
namespace zendal::upload {

struct Source {
    QString currentCategory;   // the category whose list is shown
    QString selectedEffect;    // display name of the chosen effect
    QString preparedIrImage;   // image prepared by "Load IR"
    QString preparedIrEffect;  // the effect it was prepared for
    bool bankMode = false;
    int bank = -1;  // 0..2 for Bank I..III; only read in bank mode
    DeviceKind device = DeviceKind::None;
};

struct Prepared {
    QString text;          // the image as hexadecimal text, bank code applied
    bool fromIr = false;   // the prepared impulse-response image
    QString resourceName;  // catalogue resource of the image (when not fromIr)
    int bytes = 0;         // N: half the text's length
    QString error;         // why nothing may be sent; empty when the upload may go
    bool ok() const { return error.isEmpty(); }
};

// Message codes that carry an effect image: to the pedal's current effect
// (00) or to bank I..III (0E, 0F, 10).
bool isUploadCode(std::uint8_t code);

// The largest image the transmit buffer takes in one write.
constexpr int kMaxImageBytes = 65536;

Prepared prepareUploadImage(const Source& source);

}  // namespace zendal::upload
