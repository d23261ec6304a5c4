#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace zendal {

class PedalConnection;

// What the editor knows about the pedal and the user's choice of effect, with
// a signal for each change. The editor makes one and hands it, with the
// connection, to every window; each window enables its own controls from the
// signals. Setters that do not change anything emit nothing.
class DeviceController : public QObject {
    Q_OBJECT
  public:
    explicit DeviceController(PedalConnection& connection, QObject* parent = nullptr);

    PedalConnection& connection() const { return connection_; }

    // --- the link ---
    bool linked() const { return linked_; }
    void setLinked(bool linked);
    // An exchange is in flight on the connection.
    bool busy() const;
    // Upgrade mode: the pedal is (to be) restarted into its bootloader and the
    // firmware workflow owns the line.
    bool upgradeMode() const;
    void setUpgradeMode(bool on);

    // --- what the pedal runs (the device information, the pedal's own switch) ---
    int pedalEffectNumber() const { return pedalEffectNumber_; }
    int pedalEffectVersion() const { return pedalEffectVersion_; }
    const QString& pedalEffectName() const { return pedalEffectName_; }
    void setPedalEffect(int number, int version, const QString& name);
    void setPedalEffectNumber(int number);
    void setPedalEffectVersion(int version);
    void setPedalEffectName(const QString& name);
    int pedalFirmwareVersion() const { return pedalFirmwareVersion_; }
    void setPedalFirmwareVersion(int version);
    // The oldest firmware the editor works with (from its settings).
    int requiredFirmwareVersion() const { return requiredFirmwareVersion_; }
    void setRequiredFirmwareVersion(int version) { requiredFirmwareVersion_ = version; }

    // --- the user's choice ---
    const QString& selectedEffectName() const { return selectedEffectName_; }
    bool selectedIsOnPedal() const { return selectedIsOnPedal_; }
    void setSelectedEffect(const QString& name, bool onPedal);
    void setSelectedEffectName(const QString& name);
    void setSelectedIsOnPedal(bool onPedal);
    const QString& currentCategory() const { return currentCategory_; }
    void setCurrentCategory(const QString& name) { currentCategory_ = name; }

    // --- modes ---
    bool bankMode() const { return bankMode_; }
    void setBankMode(bool on);
    // 0..2 for Bank I..III; -1 when none is known.
    int bank() const { return bank_; }
    void setBank(int bank);

    // --- guards ---
    bool requestInProgress() const { return requestInProgress_; }
    void setRequestInProgress(bool on);
    // A knob report is being applied: the control it moves sends nothing back.
    bool pedalMoveInProgress() const { return pedalMoveInProgress_; }
    void setPedalMoveInProgress(bool on) { pedalMoveInProgress_ = on; }

    // --- an impulse response prepared for an effect, until it is uploaded ---
    const QString& preparedIrImage() const { return preparedIrImage_; }
    const QString& preparedIrEffect() const { return preparedIrEffect_; }
    void setPreparedIr(const QString& image, const QString& effect);

    // A control report of the pedal (AA kind index hi lo): a knob was turned.
    void reportControl(const QByteArray& report);
    // The pedal's settings named its mode (bank: 0..2 for Bank I..III, else
    // none) and its MIDI channel (index of the "Channel" item: 0 OMNI, 1..16;
    // -1 for none). Told every time, whether or not anything changed.
    void reportMode(bool bankMode, int bank);
    void reportMidiChannel(int index);

    // Back to what a freshly started editor knows (the upgrade flag included).
    void reset();

  signals:
    void linkedChanged(bool linked);
    void busyChanged(bool busy);
    void upgradeModeChanged(bool on);
    void pedalEffectChanged(int number, int version, const QString& name);
    void firmwareVersionChanged(int version);
    void selectedEffectChanged(const QString& name, bool onPedal);
    void bankModeChanged(bool on);
    void bankChanged(int bank);
    void requestInProgressChanged(bool on);
    void controlMoved(const QByteArray& report);
    void modeReported(bool bankMode, int bank);
    void midiChannelReported(int index);

  private:
    PedalConnection& connection_;
    bool linked_ = false;
    int pedalEffectNumber_ = 0;
    int pedalEffectVersion_ = 0;
    QString pedalEffectName_;
    int pedalFirmwareVersion_ = 0;
    int requiredFirmwareVersion_ = 0;
    QString selectedEffectName_;
    bool selectedIsOnPedal_ = false;
    QString currentCategory_;
    bool bankMode_ = false;
    int bank_ = -1;
    bool requestInProgress_ = false;
    bool pedalMoveInProgress_ = false;
    QString preparedIrImage_;
    QString preparedIrEffect_;
};

// Sets a flag of the controller for a scope; the old value is back on every way out.
class RequestInProgress {
  public:
    explicit RequestInProgress(DeviceController& device)
        : device_(device), old_(device.requestInProgress()) {
        device_.setRequestInProgress(true);
    }
    ~RequestInProgress() { device_.setRequestInProgress(old_); }
    RequestInProgress(const RequestInProgress&) = delete;
    RequestInProgress& operator=(const RequestInProgress&) = delete;

  private:
    DeviceController& device_;
    bool old_;
};

class PedalMoveInProgress {
  public:
    explicit PedalMoveInProgress(DeviceController& device)
        : device_(device), old_(device.pedalMoveInProgress()) {
        device_.setPedalMoveInProgress(true);
    }
    ~PedalMoveInProgress() { device_.setPedalMoveInProgress(old_); }
    PedalMoveInProgress(const PedalMoveInProgress&) = delete;
    PedalMoveInProgress& operator=(const PedalMoveInProgress&) = delete;

  private:
    DeviceController& device_;
    bool old_;
};

}  // namespace zendal
