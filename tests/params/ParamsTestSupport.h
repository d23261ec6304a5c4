#pragma once

// Fixtures of the parameter editor's tests: a driver that records every write
// and answers a settings request from a prepared record, and builders of
// descriptors and settings records.

#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <functional>
#include <ostream>

#include "link/FtDriver.h"
#include "params/ControlDescriptor.h"
#include "support/StandInDevice.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace zendal::test {

// The pedal as far as the parameter window needs it: keeps every write and
// answers the settings and device-information requests.
class RecordingDriver : public StandInDevice {
  public:
    RecordingDriver();  // installs itself in d2xx() and opens its device
    ~RecordingDriver() override;

    QVector<QByteArray> writes;  // one entry per Write call
    // Answer to a settings request (02 N): the reply bytes, or nothing at all.
    std::function<QByteArray(const QByteArray& request)> answerRequest;
    // Answer to the device-information request (06 00).
    QByteArray infoReply;

    QStringList writtenHex() const;  // writes as upper-case hex text
    void clearWrites() { writes.clear(); }

    FT_STATUS Write(FT_HANDLE, const void* buffer, std::uint32_t toWrite,
                    std::uint32_t* bytesWritten) override;
};

// The record as the pedal sends it: each byte as a decimal number + CR LF.
QByteArray settingsReplyText(const QVector<std::uint8_t>& record);

// A settings record of N parameters with everything "not assigned"/normal.
struct RecordBuilder {
    explicit RecordBuilder(int paramCount);
    RecordBuilder& value(int i, std::uint32_t v);  // stored as v x 8192
    RecordBuilder& word(int i, std::uint32_t word);
    RecordBuilder& assignment(int i, std::uint8_t b);
    RecordBuilder& bypass(std::uint8_t b);
    RecordBuilder& preset(std::uint8_t b);
    RecordBuilder& led(int j, std::uint8_t b);
    RecordBuilder& reverse(int i, std::uint8_t b);
    RecordBuilder& mode(std::uint8_t b, std::uint8_t number);
    RecordBuilder& midi(std::uint8_t b);
    QVector<std::uint8_t> bytes;
    int n;
};

// A descriptor: "P" pots, then switch-section entries (a caption with "@" is a
// button; "Caption:off:on" a switch), then multi-switches ("Caption;a;b;c"),
// readbacks by name. Addresses 0001, 0002, ... unless given.
TControlDescriptor makeDescriptor(int pots, const QStringList& switchSection,
                                  const QStringList& multis, const QStringList& readbacks,
                                  const QStringList& addresses = {});

}  // namespace zendal::test
