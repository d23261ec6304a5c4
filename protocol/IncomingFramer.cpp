#include "protocol/IncomingFramer.h"

#include <array>

namespace zendal {

namespace {

constexpr auto kControlReport = char(0xAA);
constexpr auto kDump = char(0xAB);
const std::array<QByteArray, 2> kAnswers = {QByteArray("Upload complete"),
                                            QByteArray("Upload Failed")};

// An upload answer at `at`: its length, 0 when the bytes so far are a piece of
// one, -1 when none begins there.
qsizetype answerAt(const QByteArray& bytes, qsizetype at) {
    const QByteArrayView rest = QByteArrayView(bytes).sliced(at);
    for (const QByteArray& answer : kAnswers) {
        if (rest.startsWith(answer)) return answer.size();
        if (rest.size() < answer.size() && QByteArrayView(answer).startsWith(rest)) return 0;
    }
    return -1;
}

// Where a message of fixed form begins after the first byte of a run without a
// fixed end (an effect message or unknown text).
qsizetype nextFixedStart(const QByteArray& bytes) {
    for (qsizetype i = 1; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == kControlReport || c == kDump) return i;
        if (c == 'U' && answerAt(bytes, i) >= 0) return i;
    }
    return -1;
}

}  // namespace

qsizetype IncomingFramer::completeLength() const {
    const qsizetype size = held_.size();
    if (size == 0) return 0;
    const char first = held_.at(0);
    if (first == kControlReport) return size >= kControlReportBytes ? kControlReportBytes : 0;
    if (first == kDump) return size >= kDumpBytes ? kDumpBytes : 0;
    if (first == 'U') {
        const qsizetype answer = answerAt(held_, 0);
        if (answer >= 0) return answer;
    } else if (first == '0') {
        if (size == 1) return 0;
        if (held_.at(1) >= '0' && held_.at(1) <= '9') return 2;
    }
    return nextFixedStart(held_);
}

QList<QByteArray> IncomingFramer::feed(const QByteArray& bytes) {
    held_.append(bytes);
    QList<QByteArray> messages;
    for (qsizetype length = completeLength(); length > 0; length = completeLength()) {
        messages.append(held_.left(length));
        held_.remove(0, length);
    }
    return messages;
}

QList<QByteArray> IncomingFramer::flush(bool everything) {
    QList<QByteArray> messages;
    if (held_.isEmpty()) return messages;
    if (everything || completeLength() < 0) {
        messages.append(held_);
        held_.clear();
    }
    return messages;
}

bool IncomingFramer::holdingDump() const {
    return !held_.isEmpty() && held_.at(0) == kDump;
}

}  // namespace zendal
