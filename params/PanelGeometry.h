#pragma once

// Where the parameter window puts its run-time controls: one row every 25
// units, parameter i in row i, then the bypass row, the preset row and the
// readback rows.
namespace zendal::geometry {

constexpr int kTop = 10;
constexpr int kRowPitch = 25;
constexpr int kWindowWidth = 420;

struct Box {
    int x, width, height;
};

constexpr Box kCaption{10, 150, 20};
constexpr Box kMultiCaption{10, 100, 20};
constexpr Box kSlider{160, 100, 20};
constexpr Box kStateCaption{120, 100, 20};
constexpr Box kSwitch{190, 40, 20};
constexpr Box kPushButton{190, 50, 20};
constexpr Box kChoiceList{160, 100, 20};
constexpr Box kAssignList{300, 70, 20};
constexpr Box kReverseBox{380, 20, 20};
constexpr Box kFunctionList{300, 70, 20};
constexpr Box kLedList{300, 70, 20};
constexpr int kSeparatorX = 280;
constexpr int kSeparatorY = 10;
constexpr int kSeparatorWidth = 1;

constexpr int rowY(int row) {
    return kTop + kRowPitch * row;
}
constexpr int bypassRow(int paramCount) {
    return paramCount;
}
constexpr int presetRow(int paramCount) {
    return paramCount + 1;
}
constexpr int readbackRow(int paramCount, int readback) {
    return paramCount + 2 + readback;
}
// (N + R + 4) x 25 + 10.
constexpr int windowHeight(int paramCount, int readbackCount) {
    return (paramCount + readbackCount + 4) * kRowPitch + 10;
}
// N x 24.5, as the line is drawn (whole units, halves up).
constexpr int separatorHeight(int paramCount) {
    return (paramCount * 49 + 1) / 2;
}

}  // namespace zendal::geometry
