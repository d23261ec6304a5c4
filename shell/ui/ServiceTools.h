#pragma once

#include <QWidget>
#include <functional>

#include "shell/ServiceTools.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace zendal {

// The debug console's service tools: reading and erasing the pedal's settings
// memory, and (hidden, never shown by the editor) the raw parameter message and
// the peaking-filter coefficient calculator.
class ServiceToolsPanel : public QWidget {
    Q_OBJECT
  public:
    explicit ServiceToolsPanel(QWidget* parent = nullptr);

    QComboBox* cmbI2Caddr;
    QPushButton* btnEraseEeprom;
    QPushButton* btnReadEEPROM;
    // Hidden controls.
    QPushButton* btnSend;
    QLineEdit* edtAddress;
    QLineEdit* edtData;
    QComboBox* cmbNotePicker;
    QLineEdit* edtQ;
    QLineEdit* edtBoost;
    QPushButton* btnGetNoteFrequency;

    const service::Calculator& calculator() const { return calculator_; }

    // Asked before a tool writes to the pedal: empty when it may, else why not
    // (an upgrade runs, the pedal waits in its bootloader, another exchange is
    // in flight). Without a guard the tools always write.
    void setWriteGuard(std::function<QString()> guard) { writeGuard_ = std::move(guard); }

  private:
    void btnEraseEepromClick();
    void btnReadEEPROMClick();
    void btnSendClick();
    void btnGetNoteFrequencyClick();
    static void markInvalid(QLineEdit* field, bool invalid);
    // False (and the reason shown) when the guard says the pedal is not to be written.
    bool mayWrite();

    service::Calculator calculator_;
    std::function<QString()> writeGuard_;
};

}  // namespace zendal
