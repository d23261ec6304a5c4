// The magnitude response behind the plot, and the plots drawn offscreen.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/IrPlots.h"
#include "effects/IrSpectrum.h"

using namespace zendal;

namespace {

constexpr qint32 kHalf = 0x400000;  // 0.5 of full scale

TEST(MagnitudeResponse, KnownFilters) {
    struct Case {
        const char* name;
        std::vector<qint32> words;
        double hz;
        double db;
    } cases[] = {
        {"ImpulseIsFlatAtItsLevel", {kHalf}, 20, -6.0206},
        {"ImpulseIsFlatAtTheTop", {kHalf}, 20000, -6.0206},
        {"DelayChangesNoMagnitude", {0, 0, 0, kHalf}, 1000, -6.0206},
        // Two taps of 0.5: |cos(pi f / fs)|, -3.01 dB at 12 kHz.
        {"TwoTapAverageAtAQuarterOfTheRate", {kHalf, kHalf}, 12000, -3.0103},
        {"TwoTapAverageLowDown", {kHalf, kHalf}, 20, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto points = irMagnitudeResponse(c.words, 48000, 2, c.hz, c.hz * 1.0001);
        ASSERT_EQ(points.size(), 2u);
        EXPECT_NEAR(points[0].hz, c.hz, 1e-9);
        EXPECT_NEAR(points[0].db, c.db, 0.001);
    }
}

TEST(MagnitudeResponse, LogSpacedFrom20HzTo20kHzWithAFloor) {
    const auto points = irMagnitudeResponse(std::vector<qint32>(100, 0), 48000, 400);
    ASSERT_EQ(points.size(), 400u);
    EXPECT_NEAR(points.front().hz, 20, 1e-9);
    EXPECT_NEAR(points.back().hz, 20000, 1e-6);
    EXPECT_NEAR(points[200].hz / points[199].hz, points[1].hz / points[0].hz, 1e-9);
    EXPECT_EQ(points[10].db, -150);  // silence sits on the floor, not at -infinity
    EXPECT_TRUE(irMagnitudeResponse({kHalf}, 48000, 1).empty());
}

TEST(Plots, DrawTheTraceAndMarkTheFade) {
    IrPrepared prepared;
    prepared.slotSamples = 912;
    prepared.words.assign(912, 0);
    prepared.words[20] = kHalf;
    prepared.fadeStart = 912 - 96;
    const IrPlotData data = irPlotData(prepared);
    ASSERT_EQ(data.samples.size(), 912u);
    EXPECT_EQ(data.fadeStart, 816);
    EXPECT_EQ(data.spectrum.size(), 400u);

    const QImage image = renderIrPlots(data, QSize(800, 560));
    ASSERT_EQ(image.size(), QSize(800, 560));
    // The fade's tint sits at the right end of the waveform, nowhere at its
    // left (probed low in the waveform, off the grid lines and the trace).
    const auto tinted = [&](int x) {
        const QColor c = image.pixelColor(x, 226);
        return c.red() > c.blue() + 20;
    };
    EXPECT_TRUE(tinted(775));
    EXPECT_FALSE(tinted(200));
    // A failed preparation draws nothing.
    IrPrepared failed;
    failed.error = QStringLiteral("no");
    EXPECT_TRUE(irPlotData(failed).samples.empty());
}

}  // namespace
