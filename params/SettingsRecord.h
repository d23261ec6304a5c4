#pragma once

#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <optional>

// The pedal's settings record (the reply to 02 N) and the editor's in-memory
// copy of the settings of the effect on the pedal.
namespace zendal {

// One instance for the program (parameterSettings()); it survives closing and
// rebuilding the parameter window and is only overwritten field by field.
struct TParameterSettings {
    QVector<qint32> param_values;  // N entries: 0..1023 pots, 0/1024 switches
    std::array<int, 16> assignments;
    std::uint8_t bypass_assignment = 0xFF;
    std::uint8_t preset_assignment = 0xFF;
    std::array<int, 4> led_assignments;
    std::array<bool, 16> reverse_flags{};

    TParameterSettings() {
        assignments.fill(255);
        led_assignments.fill(255);
    }
};

TParameterSettings& parameterSettings();

// The record decoded for N parameters; 4N + 41 bytes on the wire.
struct SettingsRecord {
    static constexpr int length(int paramCount) { return 4 * paramCount + 41; }

    int paramCount = 0;
    QVector<qint32> values;  // word >> 13
    std::array<std::uint8_t, 16> assignmentBytes{};
    std::uint8_t bypassByte = 0xFF;
    std::uint8_t presetByte = 0xFF;
    std::array<std::uint8_t, 4> ledBytes{};
    std::array<std::uint8_t, 16> reverseBytes{};
    std::uint8_t mode = 0;
    std::uint8_t number = 0;
    std::uint8_t midi = 0;

    // Offsets of the fields in the record.
    static constexpr int assignmentsAt(int n) { return 4 * n; }
    static constexpr int bypassAt(int n) { return 4 * n + 16; }
    static constexpr int presetAt(int n) { return 4 * n + 17; }
    static constexpr int ledsAt(int n) { return 4 * n + 18; }
    static constexpr int reverseAt(int n) { return 4 * n + 22; }
    static constexpr int modeAt(int n) { return 4 * n + 38; }
    static constexpr int numberAt(int n) { return 4 * n + 39; }
    static constexpr int midiAt(int n) { return 4 * n + 40; }
};

// Nothing when the bytes are fewer than the record of paramCount parameters
// needs (a cut reply must not be applied: its values would go back to the pedal).
std::optional<SettingsRecord> decodeSettingsRecord(const QVector<std::uint8_t>& bytes,
                                                   int paramCount);

// A reverse byte: 01 reversed, FF normal, anything else leaves the flag alone.
enum class ReverseByte { On, Off, Unchanged };
ReverseByte reverseByteMeaning(std::uint8_t byte);

// Mode byte: 1 bank mode, 0 preset mode, anything else nothing.
enum class RecordMode { Bank, Preset, Other };
RecordMode recordMode(std::uint8_t byte);

// Entry of the MIDI channel menu for the record's byte: 0 ("OMNI") for 0 and
// 0xFF, 1..16 for a channel, -1 for none.
int midiMenuIndex(std::uint8_t byte);
// "OMNI", "1".."16" or "none".
QString midiChannelText(std::uint8_t byte);
// "Bank I".."Bank III", or empty for other numbers.
QString bankCaption(int number);

// The exchange itself, window-free. The caller stops the receive tick first.
// Sends 02 N (transmit side purged first) and pauses 200 ms.
bool sendSettingsRequest(int paramCount);

struct SettingsReplyResult {
    std::optional<SettingsRecord> record;
    int received = 0;  // decoded byte values
    QString error;     // why there is no record
};
// Waits (bounded) for the reply and decodes it for paramCount parameters.
// With no reply, a port failure, an undecodable reply or fewer bytes than the
// record needs, there is no record and error says why.
SettingsReplyResult receiveSettingsRecord(int paramCount);

class PedalConnection;
// The whole settings exchange on the connection: 02 N, the reply within its
// limit, knob reports inside it handed on to the receive tick. The same
// refusals as above, and one more while another exchange is in flight.
SettingsReplyResult requestSettingsRecord(PedalConnection& connection, int paramCount);

}  // namespace zendal
