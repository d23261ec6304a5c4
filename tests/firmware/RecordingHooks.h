#pragma once

#include <QRect>
#include <QStringList>

#include "control/MainWindowHooks.h"

namespace zendal::test {

// The main window as the firmware upgrade sees it: keeps the state of what the
// upgrade switched and the order of the calls.
class RecordingHooks : public MainWindowHooks {
  public:
    void stopReceiveTick() override { tick = false, calls << "stopReceiveTick"; }
    void startReceiveTick() override { tick = true, calls << "startReceiveTick"; }
    void setRequestEnabled(bool on) override { request = on; }
    void setUploadEnabled(bool on) override { upload = on; }
    void EnableEditorObjects(bool on) override {
        editor = on;
        calls << (on ? "EnableEditorObjects(true)" : "EnableEditorObjects(false)");
    }
    QRect mainGeometry() const override { return geometry; }

    bool tick = true;
    bool request = true;
    bool upload = true;
    bool editor = true;
    QRect geometry{100, 50, 400, 420};
    QStringList calls;
};

}  // namespace zendal::test
