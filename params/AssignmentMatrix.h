#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "params/ParameterValues.h"

// The whole mapping at a glance: parameters and the two pedal functions
// against the pedal's controls (knobs, buttons, footswitch, remote,
// expression), readbacks against the LEDs. A control or LED used twice is
// pointed out in plain words; it is not refused (one knob on two parameters
// may be intended).
namespace zendal::tone {

struct MatrixRow {
    QString name;
    int column = -1;      // the column used, -1 for none
    bool shared = false;  // its column is used by another row too

    friend bool operator==(const MatrixRow&, const MatrixRow&) = default;
};

struct AssignmentMatrix {
    QStringList controlColumns;        // KI KII KIII KIV KV B1 B2 B3 FS FL RMT EXP
    QVector<MatrixRow> parameterRows;  // one per parameter
    QVector<MatrixRow> functionRows;   // bypass, then preset change (or bank select)
    QStringList ledColumns;            // SX DX RED GREEN
    QVector<MatrixRow> readbackRows;   // one per readback
    QStringList notes;                 // one sentence per control or LED used twice

    friend bool operator==(const AssignmentMatrix&, const AssignmentMatrix&) = default;
};

AssignmentMatrix buildAssignmentMatrix(const TControlDescriptor& d, const PanelSnapshot& values,
                                       bool bankMode);

}  // namespace zendal::tone
