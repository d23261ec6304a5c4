// Parameter window speed:
//  - a slider change until its 7-byte parameter message reaches the driver
//    (p50/p99 over 10,000 changes; the 1 ms pause after each message is taken
//    by a fake clock, so only the editor's own work is measured);
//  - building the window for the largest descriptor the model allows
//    (16 parameters of every kind, 4 readbacks), and closing it again.
// Usage: bench_params_bench [--changes N] [--builds N]
// It measures; it asserts nothing.
#include <QApplication>
#include <QSlider>
#include <QTextStream>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "params/EffectDescriptor.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "support/FakeClock.h"

using namespace zendal;
using Steady = std::chrono::steady_clock;

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

// Stamps the moment each write arrives; answers nothing.
class StampingDriver : public FtDriver {
  public:
    Steady::time_point lastWrite;
    std::uint32_t lastSize = 0;
    FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) override {
        if (flags & FT_LIST_NUMBER_ONLY) {
            *static_cast<std::uint32_t*>(arg1) = 1;
        } else {
            std::strcpy(static_cast<char*>(arg2), "BENCH");
        }
        return FT_OK;
    }
    FT_STATUS OpenEx(const char*, std::uint32_t, FT_HANDLE* h) override {
        *h = 1;
        return FT_OK;
    }
    FT_STATUS Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS Read(FT_HANDLE, void*, std::uint32_t, std::uint32_t* got) override {
        *got = 0;
        return FT_OK;
    }
    FT_STATUS Write(FT_HANDLE, const void*, std::uint32_t n, std::uint32_t* written) override {
        lastWrite = Steady::now();
        lastSize = n;
        *written = n;
        return FT_OK;
    }
    FT_STATUS SetBaudRate(FT_HANDLE, std::uint32_t) override { return FT_OK; }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, std::uint8_t, std::uint8_t, std::uint8_t) override {
        return FT_OK;
    }
    FT_STATUS Purge(FT_HANDLE, std::uint32_t) override { return FT_OK; }
    FT_STATUS GetQueueStatus(FT_HANDLE, std::uint32_t* q) override {
        *q = 0;
        return FT_OK;
    }
    DeviceKind Kind(FT_HANDLE) override { return DeviceKind::VirtualInProcess; }
};

TControlDescriptor largestDescriptor() {
    TControlDescriptor d;
    d.pot_count = 8;
    d.switch_count = 5;
    d.multi_count = 3;
    d.param_count = 16;
    d.readback_count = 4;
    for (int i = 0; i < 16; ++i) {
        d.captions[i] = QStringLiteral("Parameter %1").arg(i);
        d.control_names[i] = d.captions[i];
        d.param_addresses[i] = QStringLiteral("%1").arg(i + 1, 4, 16, QLatin1Char('0'));
    }
    for (int i = 8; i < 13; ++i) {
        d.is_button[i] = i >= 11;
        d.off_texts[i] = QStringLiteral("Off");
        d.on_texts[i] = QStringLiteral("On");
    }
    for (int i = 13; i < 16; ++i) {
        for (int k = 0; k < 12; ++k) d.options[i] << QStringLiteral("Choice %1").arg(k);
        d.option_counts[i] = 12;
    }
    for (int j = 0; j < 4; ++j) d.readback_names[j] = QStringLiteral("Readback %1").arg(j);
    return d;
}

struct Figures {
    double p50, p99, max;
};

Figures figures(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[static_cast<std::size_t>(q * double(us.size() - 1))]; };
    return {at(0.50), at(0.99), us.back()};
}

int argValue(const QStringList& args, const QString& name, int fallback) {
    const int i = static_cast<int>(args.indexOf(name));
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int changes = argValue(args, QStringLiteral("--changes"), 10000);
    const int builds = argValue(args, QStringLiteral("--builds"), 200);

    test::FakeClock fakeClock;
    StampingDriver driver;
    d2xx().setDriver(&driver);
    d2xx().Open_USB_Device_By_Serial_Number(QStringLiteral("BENCH"));
    const TControlDescriptor descriptor = largestDescriptor();
    setDescriptorLoader([&](const QString&, TControlDescriptor* d, QString*) {
        *d = descriptor;
        return true;
    });
    PedalConnection connection;
    DeviceController device(connection);
    device.setSelectedEffect(QStringLiteral("Bench"), true);

    TformFXParameters window(device);
    QString error;
    window.openFor(QStringLiteral("Bench"), QPoint(0, 0), 420, &error);
    auto* slider = window.findChild<QSlider*>(QStringLiteral("slider0"));

    std::vector<double> sendUs;
    sendUs.reserve(static_cast<std::size_t>(changes));
    for (int k = 0; k < changes; ++k) {
        if (k % 1000 == 0) Log::instance().clear();  // keep the log from growing without end
        const auto start = Steady::now();
        slider->setValue(k % 2 ? 1023 - (k % 1024) : k % 1024);
        if (driver.lastSize != 7) continue;  // same position: nothing sent
        sendUs.push_back(
            std::chrono::duration<double, std::micro>(driver.lastWrite - start).count());
        driver.lastSize = 0;
    }
    const Figures send = figures(sendUs);
    out() << "slider change -> 7 bytes at the driver (" << sendUs.size() << " changes): p50 "
          << send.p50 << " us, p99 " << send.p99 << " us, max " << send.max << " us\n";

    std::vector<double> buildUs;
    for (int k = 0; k < builds; ++k) {
        const auto start = Steady::now();
        window.openFor(QStringLiteral("Bench"), QPoint(0, 0), 420, &error);
        buildUs.push_back(std::chrono::duration<double, std::micro>(Steady::now() - start).count());
        app.processEvents();
    }
    const Figures build = figures(buildUs);
    out() << "build window, 16 parameters + 4 readbacks (" << builds << " builds, each closing the "
          << "previous): p50 " << build.p50 << " us, p99 " << build.p99 << " us, max " << build.max
          << " us\n";
    window.closeWindow();
    setDescriptorLoader({});
    d2xx().setDriver(nullptr);
    return 0;
}
