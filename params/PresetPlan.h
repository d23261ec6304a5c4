#pragma once

#include <QString>
#include <QVector>

#include "params/ControlDescriptor.h"
#include "params/PresetFile.h"
#include "params/SettingsRecord.h"

// What a preset load sends to the pedal. The window sends through its
// controls: every control whose shown state changes raises its change handling
// as if the user had changed it. This is the same rule without controls, for the
// command line (and to check the window against).
namespace zendal::preset {

// What the panel shows before the load.
struct ShownState {
    QVector<qint64> values;       // per parameter, the value its control shows
    QVector<int> assignIndex;     // per parameter, the assignment list's entry
    QVector<bool> reverseTicked;  // per parameter, the reverse check box
    QVector<bool> reverseFlags;   // per parameter, TParameterSettings::reverse_flags
    // The panel right after a settings request has applied this record.
    static ShownState fromRecord(const SettingsRecord& record);
};

struct PlannedMessage {
    QString text;         // hex text of the message
    QString logLine;      // the sender's log line
    bool scrolls = true;  // DebugPrint (true) or appended without scrolling
};

// The messages in the order the window sends them: changed sliders, switches
// and choice lists (setItems order), reverse-off for a ticked box whose list
// turns to "--", then every reverse box that changes.
QVector<PlannedMessage> planPresetLoad(const TControlDescriptor& descriptor, ShownState shown,
                                       const PresetContents& file);

}  // namespace zendal::preset
