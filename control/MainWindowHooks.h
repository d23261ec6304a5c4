#pragma once

#include <QRect>

namespace zendal {

// What the firmware upgrade may do to the main window (the parameter window
// follows the device controller instead). The main window implements it;
// tests may implement it with a recorder.
class MainWindowHooks {
  public:
    virtual ~MainWindowHooks() = default;

    // The receive tick (PollPedal).
    virtual void stopReceiveTick() = 0;
    virtual void startReceiveTick() = 0;

    // Main-window controls.
    virtual void setRequestEnabled(bool enabled) = 0;  // btnRequest
    virtual void setUploadEnabled(bool enabled) = 0;   // btnUpload
    virtual void EnableEditorObjects(bool enabled) = 0;

    // Where the main window is (frame geometry), for placing the other windows.
    virtual QRect mainGeometry() const = 0;
};

}  // namespace zendal
