// Impulse-response preparation speed, for a 2-second 96 kHz stereo 24-bit
// file (a long cabinet capture), "Basic Cabinet Sim":
//  - prepare: from the file on disk to the prepared image (read, header log,
//    decode, conversion to 48 kHz, fade, image);
//  - prepare + plots: the same and both plots drawn at the preview's size
//    (waveform, and the magnitude response at 400 frequencies);
//  - the magnitude response alone (the direct DFT behind the plot).
// Usage: bench_ir_bench [--runs N]   (offscreen; prints median and worst)
// It measures; it asserts nothing.
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

#include "effects/ImpulseResponse.h"
#include "effects/IrPlots.h"
#include "effects/IrSpectrum.h"

using namespace zendal;
using Steady = std::chrono::steady_clock;

namespace {

QByteArray le(quint32 v, int bytes) {
    QByteArray b;
    for (int k = 0; k < bytes; ++k) b.append(char((v >> (8 * k)) & 0xFF));
    return b;
}

// A decaying noise burst, as a cabinet response looks, in both channels.
QByteArray stereo96k24bit(double seconds) {
    const int rate = 96000, channels = 2, frames = int(seconds * rate);
    QByteArray data;
    data.reserve(frames * channels * 3);
    quint32 state = 1;
    for (int i = 0; i < frames; ++i) {
        const double envelope = 0.9 * std::exp(-double(i) / (0.05 * rate));
        for (int c = 0; c < channels; ++c) {
            state = state * 1664525u + 1013904223u;
            const double v = envelope * (double(state) / 4294967296.0 - 0.5) * 2;
            data += le(quint32(qint32(std::lround(v * 8388607))), 3);
        }
    }
    QByteArray fmt = le(1, 2) + le(channels, 2) + le(rate, 4) + le(rate * channels * 3, 4) +
                     le(channels * 3, 2) + le(24, 2);
    QByteArray body = "WAVE" + QByteArray("fmt ") + le(16, 4) + fmt + QByteArray("data") +
                      le(quint32(data.size()), 4) + data;
    return "RIFF" + le(quint32(body.size()), 4) + body;
}

struct Figures {
    double median = 0, worst = 0;
};

Figures measure(int runs, const std::function<void()>& work) {
    work();  // warm-up: catalogue, fonts, plans
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = Steady::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(Steady::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int runs = 20;
    const QStringList args = QGuiApplication::arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--runs"));
        at >= 0 && at + 1 < args.size())
        runs = std::max(1, args[at + 1].toInt());
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cab-96k-stereo-24bit.wav"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(stereo96k24bit(2.0)) < 0) return 1;
    }
    const QString effect = QStringLiteral("Basic Cabinet Sim");
    const IrImport check = prepareImpulseResponse(path, effect);
    if (!check.ok()) {
        out << "preparation failed: " << check.error << "\n";
        return 1;
    }

    const Figures prepare = measure(runs, [&] {
        const IrImport r = prepareImpulseResponse(path, effect);
        if (r.image.isEmpty()) std::abort();
    });
    const Figures withPlots = measure(runs, [&] {
        const IrImport r = prepareImpulseResponse(path, effect);
        const QImage image = renderIrPlots(irPlotData(r.prepared), QSize(800, 560));
        if (image.isNull()) std::abort();
    });
    const Figures dft = measure(runs, [&] {
        const auto points = irMagnitudeResponse(check.prepared.words, 48000, 400);
        if (points.size() != 400) std::abort();
    });

    out << "file: 2 s, 96 kHz, stereo, 24 bit, " << QFile(path).size() << " bytes; " << runs
        << " runs\n";
    out << QString::asprintf("prepare: median %.1f ms, worst %.1f ms\n", prepare.median,
                             prepare.worst);
    out << QString::asprintf("prepare + plots: median %.1f ms, worst %.1f ms\n", withPlots.median,
                             withPlots.worst);
    out << QString::asprintf(
        "magnitude response (DFT, 912 samples x 400 frequencies): median "
        "%.2f ms, worst %.2f ms\n",
        dft.median, dft.worst);
    return 0;
}
