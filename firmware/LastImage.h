#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The image last written into the pedal, kept beside the editor's settings so
// a pedal left in its bootloader can get it again:
//   LastFirmware.txt  "Firmware_5" (an image the editor carries) or "file 3"
//                     (an image from a file, with its variant number)
//   LastFirmware.bin  the bytes of that file
namespace zendal::firmware {

struct RememberedImage {
    QString catalogueName;  // "Firmware_5", or empty for a file
    QByteArray bytes;       // a file's bytes
    int variant = 0;
    QString describe() const;
};

// Writes the record atomically into folder; false with *error on failure.
bool rememberLastImage(const QString& folder, const RememberedImage& image,
                       QString* error = nullptr);
// The record in folder; nullopt when there is none or it is not usable
// (*error says why when something was there).
std::optional<RememberedImage> lastImage(const QString& folder, QString* error = nullptr);

}  // namespace zendal::firmware
