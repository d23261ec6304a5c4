#include "protocol/DeviceController.h"

#include "protocol/PedalConnection.h"

namespace zendal {

DeviceController::DeviceController(PedalConnection& connection, QObject* parent)
    : QObject(parent), connection_(connection) {
    connect(&connection_, &PedalConnection::busyChanged, this, &DeviceController::busyChanged);
    connect(&connection_, &PedalConnection::lineOwnerChanged, this,
            [this](LineOwner owner) { emit upgradeModeChanged(owner == LineOwner::Bootloader); });
}

void DeviceController::setLinked(bool linked) {
    if (linked_ == linked) return;
    linked_ = linked;
    emit linkedChanged(linked);
}

bool DeviceController::busy() const {
    return connection_.busy();
}

// Upgrade mode is the bootloader owning the line: the connection keeps it.
bool DeviceController::upgradeMode() const {
    return connection_.bootloaderOwnsLine();
}

void DeviceController::setUpgradeMode(bool on) {
    connection_.setLineOwner(on ? LineOwner::Bootloader : LineOwner::Firmware);
}

void DeviceController::setPedalEffect(int number, int version, const QString& name) {
    if (number == pedalEffectNumber_ && version == pedalEffectVersion_ && name == pedalEffectName_)
        return;
    pedalEffectNumber_ = number;
    pedalEffectVersion_ = version;
    pedalEffectName_ = name;
    emit pedalEffectChanged(number, version, name);
}

void DeviceController::setPedalEffectNumber(int number) {
    setPedalEffect(number, pedalEffectVersion_, pedalEffectName_);
}

void DeviceController::setPedalEffectVersion(int version) {
    setPedalEffect(pedalEffectNumber_, version, pedalEffectName_);
}

void DeviceController::setPedalEffectName(const QString& name) {
    setPedalEffect(pedalEffectNumber_, pedalEffectVersion_, name);
}

void DeviceController::setPedalFirmwareVersion(int version) {
    if (pedalFirmwareVersion_ == version) return;
    pedalFirmwareVersion_ = version;
    emit firmwareVersionChanged(version);
}

void DeviceController::setSelectedEffect(const QString& name, bool onPedal) {
    if (name == selectedEffectName_ && onPedal == selectedIsOnPedal_) return;
    selectedEffectName_ = name;
    selectedIsOnPedal_ = onPedal;
    emit selectedEffectChanged(name, onPedal);
}

void DeviceController::setSelectedEffectName(const QString& name) {
    setSelectedEffect(name, selectedIsOnPedal_);
}

void DeviceController::setSelectedIsOnPedal(bool onPedal) {
    setSelectedEffect(selectedEffectName_, onPedal);
}

void DeviceController::setBankMode(bool on) {
    if (bankMode_ == on) return;
    bankMode_ = on;
    emit bankModeChanged(on);
}

void DeviceController::setBank(int bank) {
    if (bank < 0 || bank > 2) bank = -1;
    if (bank_ == bank) return;
    bank_ = bank;
    emit bankChanged(bank);
}

void DeviceController::setRequestInProgress(bool on) {
    if (requestInProgress_ == on) return;
    requestInProgress_ = on;
    emit requestInProgressChanged(on);
}

void DeviceController::setPreparedIr(const QString& image, const QString& effect) {
    preparedIrImage_ = image;
    preparedIrEffect_ = effect;
}

void DeviceController::reportControl(const QByteArray& report) {
    emit controlMoved(report);
}

void DeviceController::reportMode(bool bankMode, int bank) {
    emit modeReported(bankMode, bank);
}

void DeviceController::reportMidiChannel(int index) {
    emit midiChannelReported(index);
}

void DeviceController::reset() {
    setLinked(false);
    setUpgradeMode(false);
    setPedalEffect(0, 0, QString());
    setPedalFirmwareVersion(0);
    requiredFirmwareVersion_ = 0;
    setSelectedEffect(QString(), false);
    currentCategory_.clear();
    setBankMode(false);
    setBank(-1);
    setRequestInProgress(false);
    pedalMoveInProgress_ = false;
    setPreparedIr(QString(), QString());
}

}  // namespace zendal
