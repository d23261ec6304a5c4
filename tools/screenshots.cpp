// zendal-screenshots: pictures of the editor's windows for the documentation.
//
// Runs offscreen, in a throw-away home folder, against the in-process virtual
// pedal only (no serial port, no FTDI library, no network): links, lets the
// pedal report its effect so the parameter window fills with the pedal's
// settings, and saves
//   main-window.png       the main window with the parameter window beside it
//   firmware-upgrade.png  the firmware upgrade window
//   ir-preview.png        "Load IR" showing a prepared cabinet response
// into the folder given as the first argument. "--style N" shows them in
// style N; "--suffix TEXT" goes before ".png" (main-window-stage.png).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <functional>

#include "control/ui/TformMain.h"
#include "effects/EffectCatalogue.h"
#include "effects/ui/TformImpulseResponse.h"
#include "effects/ui/TformImpulseResponsePreview.h"
#include "link/D2XXUnit.h"
#include "link/FrameCodec.h"
#include "params/EffectDescriptor.h"
#include "params/PresetFile.h"
#include "params/ui/PresetLibraryWindow.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "shell/Prompt.h"
#include "shell/Styles.h"
#include "sim/VirtualPedal.h"
#include "sim/VirtualPedalDriver.h"

#include "firmware/ui/FirmwareUpgradeController.h"
#include "firmware/ui/TformFirmwareUpgrade.h"

namespace {

using namespace zendal;

// The effect shown: pots, switches, a choice list and a readback.
const QString kEffect = QStringLiteral("Hi-Gain Lead");

// Boxes would block an offscreen run: print them and answer No / cancel.
class PrintingPrompt : public Prompt {
  public:
    void information(const QString& text) override {
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
    }
    bool confirm(const QString& text) override {
        std::fprintf(stderr, "question (answered No): %s\n", qPrintable(text));
        return false;
    }
    // The one file the pictures open; none unless set.
    QString file;
    QString openFileName(const QString&, const QString&, const QString&) override { return file; }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&,
                         const QString&) override {
        return {};
    }
};

bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 30000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Lets pending paints and layout run.
void settle() {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(const QImage& image, const QString& path) {
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Both windows side by side, as the editor places them.
QImage sideBySide(QWidget* left, QWidget* right) {
    // Put together in device pixels: at a scale factor of 2 each grab holds
    // twice the pixels of its window's size.
    QPixmap a = left->grab();
    QPixmap b = right ? right->grab() : QPixmap();
    a.setDevicePixelRatio(1);
    b.setDevicePixelRatio(1);
    QImage out(a.width() + b.width(), qMax(a.height(), b.height()), QImage::Format_RGB32);
    out.fill(left->palette().color(QPalette::Window).darker(115));
    QPainter painter(&out);
    painter.drawPixmap(0, 0, a);
    if (!b.isNull()) painter.drawPixmap(a.width(), 0, b);
    return out;
}

// A cabinet-like response as a downloaded file would hold it: 44.1 kHz,
// stereo, 24 bit, 60 ms (longer than any slot), a decaying noise burst shaped
// by a high-pass near 80 Hz and two low-passes near 4 kHz.
QByteArray cabinetWav() {
    const int rate = 44100, frames = rate * 60 / 1000;
    auto le = [](quint32 v, int bytes) {
        QByteArray b;
        for (int k = 0; k < bytes; ++k) b.append(char((v >> (8 * k)) & 0xFF));
        return b;
    };
    const double lp = 1 - std::exp(-2 * M_PI * 4000.0 / rate);
    const double hp = std::exp(-2 * M_PI * 80.0 / rate);
    QByteArray data;
    quint32 state = 7;
    double low1[2] = {}, low2[2] = {}, prevIn[2] = {}, high[2] = {};
    for (int i = 0; i < frames; ++i) {
        const double envelope = std::exp(-double(i) / (0.004 * rate));
        for (int c = 0; c < 2; ++c) {
            state = state * 1664525u + 1013904223u;
            const double noise = (double(state) / 4294967296.0 - 0.5) * envelope * 3;
            high[c] = hp * (high[c] + noise - prevIn[c]);
            prevIn[c] = noise;
            low1[c] += lp * (high[c] - low1[c]);
            low2[c] += lp * (low1[c] - low2[c]);
            const double v = std::clamp(low2[c] * (c ? 0.8 : 1.0), -1.0, 1.0);
            data += le(quint32(qint32(std::lround(v * 8388607))), 3);
        }
    }
    const QByteArray body = "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(rate, 4) +
                            le(rate * 6, 4) + le(6, 2) + le(24, 2) + "data" +
                            le(quint32(data.size()), 4) + data;
    return "RIFF" + le(quint32(body.size()), 4) + body;
}

// Everything the editor would read from the user's environment points into
// `home`; no device but the virtual pedal can be reached.
void isolate(const QString& home) {
    qputenv("HOME", home.toUtf8());
    QDir(home).mkpath(QStringLiteral("Documents"));
    qputenv("XDG_DOCUMENTS_DIR", (home + QStringLiteral("/Documents")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_DIRS", (home + QStringLiteral("/share")).toUtf8());
    qunsetenv("ZENDAL_CATALOGUE_DIR");
    qunsetenv("ZENDAL_EXTRA_PORTS");
    // The version check goes to a closed loopback port.
    qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace

int main(int argc, char** argv) {
    const auto usage = [] {
        std::fprintf(stderr,
                     "usage: zendal-screenshots OUTPUT-FOLDER [--style N] [--suffix TEXT]\n");
        return 2;
    };
    if (argc < 2 || argc % 2 != 0) return usage();
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    int style = -1;
    QString suffix;
    for (int i = 2; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        bool ok = true;
        if (option == "--style") {
            style = value.toInt(&ok);
            ok = ok && style >= 0 && style < kStyleCount;
        } else if (option == "--suffix") {
            // A name part, never a path.
            ok = !value.contains(QLatin1Char('/'));
            suffix = value;
        } else {
            ok = false;
        }
        if (!ok) return usage();
    }
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    isolate(home.path());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zendal Editor"));
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir));
        return 1;
    }

    PrintingPrompt boxes;
    setPrompt(&boxes);

    // The in-process virtual pedal is the only device the port module sees.
    VirtualPedal pedal;
    pedal.setImageLookup([](int id) -> QByteArray {
        const auto name = effect_name_by_id(id);
        if (!name) return {};
        return Hex2String(effect_image_text(*name));
    });
    VirtualPedalDriver pedalDriver(pedal);
    PedalConnection connection;
    connection.makeProcessPort();
    connection.unit().setDriver(&pedalDriver);
    const auto id = effect_id_by_name(kEffect);
    if (!id) {
        std::fprintf(stderr, "no effect '%s' in the catalogue\n", qPrintable(kEffect));
        return 1;
    }
    pedal.setEffect(*id, 1);

    int code = 0;
    {
        DeviceController device(connection);
        TformMain main(connection, device);
        TformFXParameters parameters(device);
        main.attachParameterWindow(&parameters);
        main.show();
        if (style >= 0 && !applyStyle(style)) {
            std::fprintf(stderr, "no style %d\n", style);
            code = 1;
        }

        main.action(QStringLiteral("menuScan"))->trigger();
        const bool filled = waitFor([&] {
            return parameters.isBuilt() && parameters.lastRequestApplied() &&
                   !device.requestInProgress();
        });
        if (!filled) {
            std::fprintf(stderr, "the parameter window did not fill from the virtual pedal\n");
            code = 1;
        }
        settle();
        if (!save(sideBySide(&main, parameters.isVisible() ? &parameters : nullptr),
                  outDir + QStringLiteral("/main-window") + suffix + QStringLiteral(".png")))
            code = 1;

        // Tone editing: a value changed since stored (marked), one knob on two
        // parameters (noted), and the assignment matrix beside the lists.
        if (parameters.isBuilt()) {
            if (auto* slider = parameters.findChild<QSlider*>(QStringLiteral("slider0")))
                slider->setValue(slider->value() > 500 ? 200 : 800);
            for (const char* name : {"assign0", "assign1"})
                if (auto* list = parameters.findChild<QComboBox*>(QLatin1String(name)))
                    list->setCurrentIndex(0);  // "KI"
            if (auto* matrix = parameters.findChild<QPushButton*>(QStringLiteral("btnMatrix")))
                matrix->click();
            settle();
            if (!save(parameters.grab().toImage(),
                      outDir + QStringLiteral("/tone-editing") + suffix + QStringLiteral(".png")))
                code = 1;
        }

        if (FirmwareUpgradeController* upgrade = main.upgradeController()) {
            TformFirmwareUpgrade* window = upgrade->window();
            window->show();
            settle();
            if (!save(window->grab().toImage(), outDir + QStringLiteral("/firmware-upgrade") +
                                                    suffix + QStringLiteral(".png")))
                code = 1;
            window->hide();
        } else {
            std::fprintf(stderr, "no firmware upgrade window\n");
            code = 1;
        }
        // "Load IR" for a cabinet effect, the preview open before loading.
        {
            boxes.file = home.path() + QStringLiteral("/Documents/Cab 4x12 SM57.wav");
            QFile wav(boxes.file);
            if (!wav.open(QIODevice::WriteOnly) || wav.write(cabinetWav()) < 0) code = 1;
            wav.close();
            device.setCurrentCategory(QStringLiteral("Impulse Response"));
            device.setSelectedEffectName(QStringLiteral("Basic Cabinet Sim"));
            TformImpulseResponse impulseResponse(device);
            if (!impulseResponse.load_impulse_response() || !impulseResponse.preview()) {
                std::fprintf(stderr, "the impulse-response preview did not open\n");
                code = 1;
            } else {
                TformImpulseResponsePreview* preview = impulseResponse.preview();
                preview->resize(860, 720);
                settle();
                if (!save(preview->grab().toImage(), outDir + QStringLiteral("/ir-preview.png")))
                    code = 1;
                preview->reject();
            }
            boxes.file.clear();
        }

        // The preset library with a few presets of the pedal's effect and one
        // file that is not a preset (greyed, with its reason).
        {
            TControlDescriptor d;
            QString why;
            if (!loadEffectDescriptor(kEffect, &d, &why) || !preset::ensurePresetFolder(&why)) {
                std::fprintf(stderr, "no presets for the library: %s\n", qPrintable(why));
                code = 1;
            }
            TParameterSettings s;
            s.param_values = QVector<qint32>(d.param_count, 512);
            for (const QString& name :
                 {QStringLiteral("Lead Solo"), QStringLiteral("Rhythm Crunch"),
                  QStringLiteral("Stage Boost")}) {
                if (!preset::writePresetFile(
                        preset::presetFolder() + u'/' + name + QStringLiteral(".txt"),
                        preset::composePresetText(*id, 1, s, d.param_count, d.readback_count),
                        &why))
                    code = 1;
            }
            QFile notes(preset::presetFolder() + QStringLiteral("/Setlist.txt"));
            if (!notes.open(QIODevice::WriteOnly) || notes.write("Friday: 1. Intro\n") < 0)
                code = 1;
            notes.close();
            main.action(QStringLiteral("menuPresetLibrary"))->trigger();
            auto* library =
                main.findChild<PresetLibraryWindow*>(QStringLiteral("PresetLibraryWindow"));
            if (!library) {
                std::fprintf(stderr, "no preset library window\n");
                code = 1;
            } else {
                library->resize(860, 300);
                settle();
                if (!save(library->grab().toImage(), outDir + QStringLiteral("/preset-library") +
                                                         suffix + QStringLiteral(".png")))
                    code = 1;
                library->close();
            }
        }

        main.Unlink();
        parameters.hide();
    }
    connection.unit().setDriver(nullptr);
    setPrompt(nullptr);
    return code;
}
