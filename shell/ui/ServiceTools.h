#pragma once

#include <QWidget>

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

  private:
    void btnEraseEepromClick();
    void btnReadEEPROMClick();
    void btnSendClick();
    void btnGetNoteFrequencyClick();
    static void markInvalid(QLineEdit* field, bool invalid);

    service::Calculator calculator_;
};

}  // namespace zendal
