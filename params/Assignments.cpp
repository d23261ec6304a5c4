#include "params/Assignments.h"

#include "protocol/Messages.h"

namespace zendal::assign {

const QStringList& assignTargets() {
    static const QStringList list{
        QStringLiteral("KI"), QStringLiteral("KII"), QStringLiteral("KIII"), QStringLiteral("KIV"),
        QStringLiteral("KV"), QStringLiteral("B1"),  QStringLiteral("B2"),   QStringLiteral("B3"),
        QStringLiteral("FS"), QStringLiteral("FL"),  QStringLiteral("RMT"),  QStringLiteral("EXP"),
        QStringLiteral("--")};
    return list;
}

const QStringList& ledTargets() {
    static const QStringList list{QStringLiteral("SX"), QStringLiteral("DX"), QStringLiteral("RED"),
                                  QStringLiteral("GREEN"), QStringLiteral("--")};
    return list;
}

const QStringList& functionTargets() {
    static const QStringList list{QStringLiteral("FS"), QStringLiteral("FL"), QStringLiteral("RMT"),
                                  QStringLiteral("--")};
    return list;
}

QString functionHint() {
    return QStringLiteral(
        "FS = footswitch short press - FL = footswitch long press - RMT = remote switch");
}

int assignIndexForByte(int byte) {
    return byte >= 0 && byte < kAssignNoneIndex ? byte : kAssignNoneIndex;
}

int ledIndexForByte(int byte) {
    return byte >= 0 && byte < kLedNoneIndex ? byte : kLedNoneIndex;
}

int functionIndexForByte(int byte) {
    const int index = byte - kFunctionByteBase;
    return index >= 0 && index < kFunctionNoneIndex ? index : kFunctionNoneIndex;
}

std::uint8_t assignByteForIndex(int index) {
    return index >= 0 && index < kAssignNoneIndex ? static_cast<std::uint8_t>(index) : kNotAssigned;
}

std::uint8_t ledByteForIndex(int index) {
    return index >= 0 && index < kLedNoneIndex ? static_cast<std::uint8_t>(index) : kNotAssigned;
}

std::uint8_t functionByteForIndex(int index) {
    return index >= 0 && index < kFunctionNoneIndex
               ? static_cast<std::uint8_t>(index + kFunctionByteBase)
               : kNotAssigned;
}

QString assignText(int byte) {
    return assignTargets().at(assignIndexForByte(byte));
}

QString ledText(int byte) {
    return ledTargets().at(ledIndexForByte(byte));
}

QString functionText(int byte) {
    return functionTargets().at(functionIndexForByte(byte));
}

QString assignMessage(const QVector<int>& assignIndices, const QVector<int>& ledIndices,
                      std::uint8_t bypassAssignment, std::uint8_t presetAssignment) {
    QVector<std::uint8_t> parameterBytes;
    for (int k : assignIndices) parameterBytes.append(assignByteForIndex(k));
    QVector<std::uint8_t> ledBytes;
    for (int k : ledIndices) ledBytes.append(ledByteForIndex(k));
    return messages::assign(parameterBytes, ledBytes, bypassAssignment, presetAssignment);
}

}  // namespace zendal::assign
