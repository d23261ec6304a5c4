#pragma once

// Every wait for the pedal has a time limit, chosen per reply kind and kept in
// this one place. Generous: the pedal answers within milliseconds, a bootloader
// global erase within a few seconds; the limits only matter when nothing will come.
namespace zendal::timeouts {

constexpr int kDeviceInfoMs = 3000;        // 06 00 -> four decimal numbers
constexpr int kSettingsReplyMs = 3000;     // 02 N -> settings record
constexpr int kUploadAnswerMs = 15000;     // effect image -> "Upload complete"/"Upload Failed"
constexpr int kRawUploadMs = 15000;        // hexadecimal file -> whatever the pedal says
constexpr int kEepromDumpMs = 10000;       // 0C -> AB + 16384 bytes
constexpr int kBootloaderAckMs = 1000;     // every bootloader ACK but the erase
constexpr int kBootloaderEraseMs = 40000;  // global erase of the whole flash
constexpr int kBootloaderReadMs = 2000;    // read-back of one block

// Longest sleep between two looks at the port when the backend offers no
// readiness descriptor.
constexpr int kPollSliceMs = 5;

// A write to a serial port that makes no progress for this long has failed
// (cable pulled, flow stopped); the port never blocks the editor longer.
constexpr int kWriteStallMs = 2000;

// The receive tick takes a message as ended once the line has been quiet this
// long (a message split over two USB transfers is still one message), and
// gathers one message for at most kMessageGatherMs.
constexpr int kMessageQuietMs = 5;

// A reply read to its end (settings record) has ended once the line has been
// quiet this long: longer than a USB adapter's default 16 ms latency timer,
// which may hold back its last piece when the port cannot take a shorter one.
constexpr int kReplyQuietMs = 40;
constexpr int kMessageGatherMs = 100;

}  // namespace zendal::timeouts
