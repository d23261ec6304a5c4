#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>

// The fixed target tables of the assignment, LED and function lists, the
// conversions between list entries and the bytes the pedal uses, and the
// 23-byte Assign message.
namespace zendal::assign {

constexpr std::uint8_t kNotAssigned = 0xFF;
constexpr int kAssignNoneIndex = 12;   // "--" in assign_targets
constexpr int kLedNoneIndex = 4;       // "--" in led_targets
constexpr int kFunctionNoneIndex = 3;  // "--" in function_targets
constexpr int kFunctionByteBase = 8;   // function byte = list index + 8
constexpr int kAssignMessageBytes = 23;

const QStringList& assignTargets();    // KI KII KIII KIV KV B1 B2 B3 FS FL RMT EXP --
const QStringList& ledTargets();       // SX DX RED GREEN --
const QStringList& functionTargets();  // FS FL RMT --
QString functionHint();                // hint of the bypass and preset lists

// Byte -> list entry. 0xFF, and any byte outside the table, shows "--".
int assignIndexForByte(int byte);
int ledIndexForByte(int byte);
int functionIndexForByte(int byte);

// List entry -> byte. "--" and no selection (-1) give 0xFF.
std::uint8_t assignByteForIndex(int index);
std::uint8_t ledByteForIndex(int index);
std::uint8_t functionByteForIndex(int index);

// Text of a byte for the command line ("EXP", "--").
QString assignText(int byte);
QString ledText(int byte);
QString functionText(int byte);

// 04, the entries of the parameter lists (slots past their count FF), of the
// LED lists (slots past their count FF), then the two function bytes.
QString assignMessage(const QVector<int>& assignIndices, const QVector<int>& ledIndices,
                      std::uint8_t bypassAssignment, std::uint8_t presetAssignment);

}  // namespace zendal::assign
