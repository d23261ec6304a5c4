#include "effects/IrPlots.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace zendal {

namespace {

constexpr double kFromHz = 20;
constexpr double kToHz = 20000;
constexpr int kLeftMargin = 52;
constexpr int kRightMargin = 14;
constexpr int kTitleHeight = 22;
constexpr int kAxisHeight = 20;

const QColor kInk(0x20, 0x20, 0x20);
const QColor kGrid(0xDD, 0xDD, 0xDD);
const QColor kTrace(0x1F, 0x5F, 0xB0);
const QColor kFade(0xF2, 0xC1, 0x4E, 90);
const QColor kPadding(0xB0, 0xB0, 0xB0, 70);

// One pixel wide and cosmetic: Qt draws such a trace directly, where a wider
// pen first turns the whole wiggly line into an outline (a hundred times
// slower for a slot's worth of samples).
QPen tracePen() {
    QPen pen(kTrace, 1.0);
    pen.setCosmetic(true);
    return pen;
}

// The frame of one plot: title above, value labels left, axis labels below.
struct Frame {
    QRect plot;
    QRect title;
};

Frame frameIn(const QRect& area) {
    Frame f;
    f.title = QRect(area.left() + kLeftMargin, area.top(),
                    area.width() - kLeftMargin - kRightMargin, kTitleHeight);
    f.plot = QRect(area.left() + kLeftMargin, area.top() + kTitleHeight,
                   area.width() - kLeftMargin - kRightMargin,
                   area.height() - kTitleHeight - kAxisHeight);
    return f;
}

void drawYLabel(QPainter& p, const Frame& f, double y, const QString& text) {
    p.setPen(kGrid);
    p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
    p.setPen(kInk);
    p.drawText(QRectF(f.plot.left() - kLeftMargin, y - 8, kLeftMargin - 6, 16),
               Qt::AlignRight | Qt::AlignVCenter, text);
}

void drawXLabel(QPainter& p, const Frame& f, double x, const QString& text) {
    p.setPen(kGrid);
    p.drawLine(QPointF(x, f.plot.top()), QPointF(x, f.plot.bottom()));
    p.setPen(kInk);
    p.drawText(QRectF(x - 30, f.plot.bottom() + 2, 60, kAxisHeight - 2),
               Qt::AlignHCenter | Qt::AlignTop, text);
}

void drawMarkedSpan(QPainter& p, const Frame& f, double from, const QColor& colour,
                    const QString& label) {
    const QRectF span(QPointF(from, f.plot.top()), QPointF(f.plot.right(), f.plot.bottom()));
    p.fillRect(span, colour);
    // The label on a plain patch, so that no grid line runs through it.
    const QRectF text =
        p.boundingRect(span.adjusted(-120, 4, -4, 0), Qt::AlignRight | Qt::AlignTop, label);
    p.fillRect(text.adjusted(-2, 0, 2, 0), QColor(255, 255, 255, 200));
    p.setPen(kInk);
    p.drawText(text, Qt::AlignCenter, label);
}

void drawWaveform(QPainter& p, const QRect& area, const IrPlotData& d) {
    const Frame f = frameIn(area);
    const int n = int(d.samples.size());
    p.setPen(kInk);
    p.drawText(
        f.title, Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Waveform: %1 samples at 48 kHz (%2 ms)").arg(n).arg(irMilliseconds(n)));
    const auto xOf = [&](double sample) {
        return f.plot.left() + f.plot.width() * sample / std::max(1, n - 1);
    };
    const auto yOf = [&](double v) {
        return f.plot.center().y() - std::clamp(v, -1.0, 1.0) * (f.plot.height() / 2.0);
    };
    if (d.paddedFrom >= 0 && d.paddedFrom < n)
        drawMarkedSpan(p, f, xOf(d.paddedFrom), kPadding, QStringLiteral("zero padding"));
    if (d.fadeStart >= 0 && d.fadeStart < n)
        drawMarkedSpan(p, f, xOf(d.fadeStart), kFade, QStringLiteral("fade-out"));
    for (double v : {1.0, 0.5, 0.0, -0.5, -1.0}) drawYLabel(p, f, yOf(v), QString::number(v));
    const double totalMs = double(n) * 1000.0 / kPedalSampleRate;
    const double stepMs = totalMs > 40 ? 10 : totalMs > 12 ? 2 : 1;
    for (double ms = 0; ms <= totalMs + 1e-9; ms += stepMs)
        drawXLabel(p, f, xOf(ms * kPedalSampleRate / 1000.0), QStringLiteral("%1 ms").arg(ms));
    QPolygonF trace;
    trace.reserve(n);
    for (int i = 0; i < n; ++i) trace << QPointF(xOf(i), yOf(d.samples[size_t(i)]));
    p.setPen(tracePen());
    p.drawPolyline(trace);
    p.setPen(kInk);
    p.drawRect(f.plot);
}

void drawMagnitude(QPainter& p, const QRect& area, const IrPlotData& d) {
    const Frame f = frameIn(area);
    p.setPen(kInk);
    p.drawText(f.title, Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Magnitude response (dB), 20 Hz to 20 kHz"));
    double top = -150;
    for (const IrSpectrumPoint& s : d.spectrum) top = std::max(top, s.db);
    top = std::ceil((top + 3) / 10) * 10;
    const double bottom = top - 60;
    const auto xOf = [&](double hz) {
        return f.plot.left() + f.plot.width() * std::log(hz / kFromHz) / std::log(kToHz / kFromHz);
    };
    const auto yOf = [&](double db) {
        return f.plot.top() +
               f.plot.height() * (top - std::clamp(db, bottom, top)) / (top - bottom);
    };
    for (double db = top; db >= bottom - 1e-9; db -= 10)
        drawYLabel(p, f, yOf(db), QStringLiteral("%1 dB").arg(db));
    const std::pair<double, const char*> ticks[] = {
        {20, "20"},   {50, "50"},   {100, "100"}, {200, "200"},   {500, "500"},
        {1000, "1k"}, {2000, "2k"}, {5000, "5k"}, {10000, "10k"}, {20000, "20k"}};
    for (const auto& [hz, label] : ticks) drawXLabel(p, f, xOf(hz), QString::fromLatin1(label));
    QPolygonF trace;
    trace.reserve(qsizetype(d.spectrum.size()));
    for (const IrSpectrumPoint& s : d.spectrum) trace << QPointF(xOf(s.hz), yOf(s.db));
    p.setPen(tracePen());
    p.drawPolyline(trace);
    p.setPen(kInk);
    p.drawRect(f.plot);
}

}  // namespace

IrPlotData irPlotData(const IrPrepared& prepared) {
    IrPlotData d;
    if (!prepared.ok()) return d;
    d.samples.reserve(prepared.words.size());
    for (qint32 w : prepared.words) d.samples.push_back(double(w) / 8388608.0);
    d.fadeStart = prepared.fadeStart;
    d.paddedFrom = prepared.paddedFrom;
    d.spectrum = irMagnitudeResponse(prepared.words, kPedalSampleRate, 400, kFromHz, kToHz);
    return d;
}

void paintIrPlots(QPainter& painter, const QRect& area, const IrPlotData& data) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const int gap = 10;
    const int half = (area.height() - gap) / 2;
    drawWaveform(painter, QRect(area.left(), area.top(), area.width(), half), data);
    drawMagnitude(painter, QRect(area.left(), area.top() + half + gap, area.width(), half), data);
    painter.restore();
}

QImage renderIrPlots(const IrPlotData& data, const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintIrPlots(painter, QRect(QPoint(0, 0), size).adjusted(4, 4, -4, -4), data);
    painter.end();
    return image;
}

}  // namespace zendal
