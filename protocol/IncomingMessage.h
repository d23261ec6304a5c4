#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

// What the pedal sends on its own, read by the receive tick: one read is one
// message (the link has no framing). Window-free so the tick's decisions can be
// tested byte by byte.
namespace zendal::incoming {

constexpr int kDumpDataBytes = 16384;  // settings memory behind 0xAB
constexpr int kDumpMessageBytes = kDumpDataBytes + 1;
constexpr std::uint8_t kControlReport = 0xAA;
constexpr std::uint8_t kDump = 0xAB;

// The bytes as ASCII; every byte above 127 becomes "?".
QString asciiText(const QByteArray& bytes);

// Decimal integer as the pedal writes it; throws ConversionError naming the text.
int parseDecimal(const QString& text);

struct Message {
    enum class Number { None, Bank, Effect };
    enum class Answer { None, UploadComplete, UploadFailed, Unknown };

    QByteArray bytes;
    QString text;  // asciiText(bytes)
    Number number = Number::None;
    int value = 0;  // the bank, or the effect number modulo 65,536
    Answer answer = Answer::None;
    bool controlReport = false;  // first byte 0xAA
    bool dump = false;           // first byte 0xAB
};

// Classifies one read. Throws ConversionError when a "0" or "1" message does
// not carry a number after its first character.
Message classify(const QByteArray& bytes);

// The status text for an upload answer ("Upload complete", "Upload Failed",
// "Upload Status Unknown"); empty for Answer::None.
QString statusText(const Message& message);

// One log line per byte of a complete dump ("i: XX"), and whether every byte
// of the settings memory is 0xFF. `message` starts with 0xAB.
QStringList dumpLogLines(const QByteArray& message);
bool dumpIsErased(const QByteArray& message);

// Collects a dump that arrives over several reads. Bounded: it gives up when
// the deadline passes or when more than a whole dump would be collected.
class DumpAssembler {
  public:
    bool active() const { return active_; }
    void begin(const QByteArray& first, qint64 deadlineMs);
    // Appends a later read; returns the bytes beyond a complete dump (empty
    // when none) through `rest`.
    void append(const QByteArray& chunk, QByteArray* rest);
    bool complete() const { return data_.size() >= kDumpMessageBytes; }
    bool expired(qint64 nowMs) const { return active_ && nowMs >= deadline_; }
    int receivedDataBytes() const { return data_.isEmpty() ? 0 : int(data_.size()) - 1; }
    // The complete dump (exactly kDumpMessageBytes) and back to idle.
    QByteArray take();
    void reset();

  private:
    bool active_ = false;
    qint64 deadline_ = 0;
    QByteArray data_;
};

}  // namespace zendal::incoming
