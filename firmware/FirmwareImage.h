#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "firmware/BootloaderFrames.h"

// What a firmware image for this pedal must look like before any of it goes
// near the pedal, and what the flash must hold before the pedal is started.
namespace zendal::firmware {

// An image ends below the page that holds the variant record.
constexpr int kMaxFirmwareSize = static_cast<int>(kVariantRecordAddress - kFlashStart);  // 130,048
// The part's SRAM (20 KB): where the initial stack pointer must point.
constexpr std::uint32_t kSramStart = 0x20000000u;
constexpr std::uint32_t kSramEnd = 0x20005000u;
// Bytes of the vector table looked at: initial stack pointer and reset address.
constexpr int kVectorBytes = 8;

// nullopt when the first eight bytes look like this part's vector table: the
// initial stack pointer word-aligned in SRAM (its end included), the reset
// address Thumb code (odd) in flash above the table. Else what is wrong.
std::optional<QString> vectorTableProblem(const QByteArray& first8);

// nullopt when the variant record (eight bytes at 0x0801FC00) is one an upgrade
// writes last: seven 00 and a variant number. An erased record means the last
// write never finished.
std::optional<QString> variantRecordProblem(const QByteArray& record);

// nullopt when the image may be written: 1 to kMaxFirmwareSize bytes, a vector
// table, and a reset address inside the image. Else what is wrong.
std::optional<QString> imageProblem(const QByteArray& image);

// Reads a firmware file, at most kMaxFirmwareSize + 1 bytes (a device such as
// /dev/zero is refused, not read without end), to its end, and checks it with
// imageProblem. On failure *error names the file and what is wrong.
std::optional<QByteArray> readFirmwareFile(const QString& path, QString* error);

}  // namespace zendal::firmware
