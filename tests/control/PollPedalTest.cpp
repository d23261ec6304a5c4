// The receive tick: what the pedal sends on its own.
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "MainWindowFixture.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"
#include "protocol/DeviceController.h"

namespace zendal::test {
namespace {

class MainWindowPollPedal : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        createWindows();
        scanAndLink();
        ASSERT_TRUE(prompt->all().isEmpty());
        // The tests drive the tick by hand.
        main->findChild<QTimer*>("TimerAutoRequest")->stop();
        Log::instance().clear();
    }
    void poll(const QByteArray& bytes) {
        driver->inject(bytes);
        main->PollPedal();
    }
    QString status() const { return widget<QLabel>("lblStatus")->text(); }
    int checkedBank() const {
        for (int i = 0; i < 3; ++i)
            if (widget<QRadioButton>(qPrintable(QStringLiteral("rdbtnBank%1").arg(i + 1)))
                    ->isChecked())
                return i;
        return -1;
    }
    bool autoRequestArmed() const {
        return main->findChild<QTimer*>("TimerAutoRequest")->isActive();
    }
};

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out.append(char(v));
    return out;
}

TEST_F(MainWindowPollPedal, MessagesAndWhatTheyChange) {
    const struct {
        const char* name;
        QByteArray message;
        int bank;  // -1: none selected
        QString status;
        bool autoRequest;
    } cases[] = {
        {"bank III", "02", 2, "Status: ", false},
        {"bank 5 changes nothing", "05", -1, "Status: ", false},
        {"upload complete", "Upload complete", -1, "Upload complete", true},
        {"upload failed", "Upload Failed", -1, "Upload Failed", true},
        {"answer with a line end", "Upload complete\r\n", -1, "Upload Status Unknown", true},
        {"control report", bytes({0xAA, 0x00, 0x00, 0x02, 0x00}), -1, "Upload Status Unknown",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        main->selectBank(-1);
        widget<QLabel>("lblStatus")->setText(QStringLiteral("Status: "));
        main->findChild<QTimer*>("TimerAutoRequest")->stop();
        main->EnableEditorObjects(false);
        poll(c.message);
        EXPECT_EQ(checkedBank(), c.bank);
        EXPECT_EQ(device->bank(), c.bank);
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(autoRequestArmed(), c.autoRequest);
        // Every message from the pedal gives the editor back its controls.
        EXPECT_TRUE(widget("btnUpload")->isEnabled());
        EXPECT_TRUE(prompt->all().isEmpty());
    }
    EXPECT_TRUE(
        logHas(QStringLiteral("Data(ASCII): ?") + QChar(0) + QChar(0) + QChar(2) + QChar(0)));
}

TEST_F(MainWindowPollPedal, BankAndEffectInOneReadChangeBoth) {
    main->selectBank(-1);
    poll("0111A");  // bank II, then effect line 26
    EXPECT_EQ(checkedBank(), 1);
    EXPECT_EQ(device->pedalEffectName(), QStringLiteral("Tremolo"));
    EXPECT_TRUE(prompt->all().isEmpty());
}

TEST_F(MainWindowPollPedal, EveryKnobReportOfABurstIsApplied) {
    main->selectBank(-1);
    poll("11A");  // Tremolo: its parameter window is live
    ASSERT_TRUE(params->isBuilt());
    QByteArray burst;
    for (int i = 0; i < 200; ++i) {
        const int value = i * 5 + 3;
        burst += bytes({0xAA, 0x00, 0x00, value >> 8, value & 0xFF});
    }
    burst += "02";
    int moves = 0;
    auto* slider = params->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    QObject::connect(slider, &QSlider::valueChanged, [&] { ++moves; });
    poll(burst);
    EXPECT_EQ(moves, 200);
    EXPECT_EQ(slider->value(), 199 * 5 + 3);
    EXPECT_EQ(checkedBank(), 2);
}

TEST_F(MainWindowPollPedal, EffectReportOpensThePedalsEffect) {
    pedal->setEffect(0x1A, 3);  // the pedal's own switch: it runs Tremolo v3 now
    poll("11A");                // line 26
    EXPECT_TRUE(logHas(QStringLiteral("Data(ASCII): 11A")));
    EXPECT_TRUE(logHas(QStringLiteral("effect from list: Tremolo")));
    const DeviceController& state = *device;
    EXPECT_EQ(state.pedalEffectName(), QStringLiteral("Tremolo"));
    EXPECT_EQ(state.selectedEffectName(), QStringLiteral("Tremolo"));
    EXPECT_TRUE(state.selectedIsOnPedal());
    // Number and version follow the pedal, for the preset files and the caption.
    EXPECT_EQ(state.pedalEffectNumber(), 0x1A);
    EXPECT_EQ(state.pedalEffectVersion(), 3);
    ASSERT_TRUE(params->isVisible());
    EXPECT_EQ(params->windowTitle(), QStringLiteral("Tremolo v3"));
    auto* effects = widget<QListWidget>("lstEffects");
    ASSERT_NE(effects->currentItem(), nullptr);
    EXPECT_EQ(effects->currentItem()->text(), QStringLiteral("Tremolo"));
    EXPECT_EQ(widget<QListWidget>("lstCategory")->currentItem()->text(),
              QStringLiteral("Modulation"));
    EXPECT_TRUE(autoRequestArmed());
    EXPECT_EQ(status(), QStringLiteral("Status: "));
}

TEST_F(MainWindowPollPedal, AWindowOfAnEffectNotOnThePedalStaysDisabled) {
    chooseEffect(QStringLiteral("Gain"), QStringLiteral("Amber Drive"));  // not on the pedal
    ASSERT_FALSE(device->selectedIsOnPedal());
    ASSERT_TRUE(params->isBuilt());
    auto* slider = params->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    const int before = slider->value();
    for (const QByteArray& message :
         {bytes({0xAA, 0x00, 0x00, 0x01, 0x23}), QByteArray("02"), QByteArray("Upload Failed")}) {
        SCOPED_TRACE(message.toHex().toStdString());
        poll(message);
        EXPECT_FALSE(slider->isEnabled());
        EXPECT_EQ(slider->value(), before);
    }
}

TEST_F(MainWindowPollPedal, NumbersThatAreNotNumbersAndIdsBeyondTheList) {
    const struct {
        QByteArray message;
        QString box;
    } cases[] = {
        {"0x", "'x' is not a valid integer value"},
        {"1G", "'G' is not a valid integer value"},
        {"140",
         "The pedal switched to effect number 64, which is not in the editor's effect list."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        prompt->informations.clear();
        const QString before = device->pedalEffectName();
        poll(c.message);
        EXPECT_EQ(prompt->informations, QStringList{c.box});
        EXPECT_EQ(device->pedalEffectName(), before);
        EXPECT_EQ(status(), QStringLiteral("Status: "));
    }
}

QByteArray dump(char fill) {
    return bytes({0xAB}) + QByteArray(16384, fill);
}

TEST_F(MainWindowPollPedal, SettingsMemoryDump) {
    const struct {
        const char* name;
        QList<QByteArray> reads;
        QStringList boxes;
    } cases[] = {
        {"erased", {dump(char(0xFF))}, {"Memory Erased"}},
        {"one byte written", {dump(char(0xFF)).replace(9000, 1, "\x01")}, {}},
        {"in three reads",
         {dump(char(0xFF)).left(100), dump(char(0xFF)).mid(100, 8000), dump(char(0xFF)).mid(8100)},
         {"Memory Erased"}},
        {"two memories in one read",
         {dump(char(0xFF)) + dump(char(0xFF))},
         {"Memory Erased", "Memory Erased"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        prompt->informations.clear();
        Log::instance().clear();
        for (const QByteArray& read : c.reads) poll(read);
        EXPECT_EQ(prompt->informations, c.boxes);
        EXPECT_TRUE(logHas(QStringLiteral("0: FF")));
        EXPECT_TRUE(logHas(QStringLiteral("16383: FF")));
    }
}

TEST_F(MainWindowPollPedal, ADumpThatStopsArrivingIsReportedAndForgotten) {
    poll(dump(char(0xFF)).left(5000));
    main->PollPedal();  // nothing more yet
    EXPECT_TRUE(prompt->informations.isEmpty());
    fakeClock->advance(60000);
    main->PollPedal();
    EXPECT_EQ(prompt->informations,
              QStringList{"The pedal's settings memory dump is incomplete: 4999 of 16384 bytes "
                          "arrived."});
    // What comes next is read as a message again.
    poll("01");
    EXPECT_EQ(checkedBank(), 1);
}

TEST_F(MainWindowPollPedal, AMessageSplitOverTwoTransfersIsStillOneMessage) {
    const struct {
        const char* name;
        QList<QByteArray> pieces;
        QString status;
        int bank;
    } cases[] = {
        {"answer", {"Upload comp", "lete"}, "Upload complete", -1},
        {"bank", {"0", "2"}, "Status: ", 2},
        {"effect", {"1", "1A"}, "Status: ", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        widget<QLabel>("lblStatus")->setText(QStringLiteral("Status: "));
        main->selectBank(-1);
        prompt->informations.clear();
        driver->injectInPieces(c.pieces);
        main->PollPedal();
        EXPECT_EQ(status(), c.status);
        EXPECT_EQ(checkedBank(), c.bank);
        EXPECT_TRUE(prompt->informations.isEmpty());
    }
    EXPECT_EQ(device->pedalEffectName(), QStringLiteral("Tremolo"));

    // Parts that come in separate ticks are joined.
    poll("Upload comp");
    EXPECT_EQ(status(), QStringLiteral("Status: "));
    poll("lete");
    EXPECT_EQ(status(), QStringLiteral("Upload complete"));
    // A part whose rest never comes is read as it stands once its time is up.
    widget<QLabel>("lblStatus")->setText(QStringLiteral("Status: "));
    poll("Upload comp");
    EXPECT_EQ(status(), QStringLiteral("Status: "));
    fakeClock->advance(1000);
    main->PollPedal();
    EXPECT_EQ(status(), QStringLiteral("Upload Status Unknown"));
}

TEST_F(MainWindowPollPedal, UploadCompleteRequestsTheSettingsTwoSecondsLater) {
    main->findChild<QTimer*>("Timer_USB_read")->stop();
    markWrites();
    poll("Upload complete");
    EXPECT_TRUE(autoRequestArmed());
    EXPECT_TRUE(writesSinceMark().isEmpty());
    ASSERT_TRUE(waitFor([&] { return writesSinceMark().contains(QStringLiteral("0202")); }));
    EXPECT_FALSE(autoRequestArmed());
}

TEST_F(MainWindowPollPedal, TheTickWakesWhenThePedalSpeaks) {
    // Linked: the receive tick runs on its own and reads the pedal's reports.
    ASSERT_TRUE(main->findChild<QTimer*>("Timer_USB_read")->isActive());
    pedal->switchBank(1);
    ASSERT_TRUE(waitFor([&] { return checkedBank() == 1; }));
    pedal->switchBank(2);
    ASSERT_TRUE(waitFor([&] { return checkedBank() == 2; }));
}

TEST_F(MainWindowPollPedal, AKnobTurnedOnThePedalMovesTheSliderOnceThroughTheController) {
    poll("11A");  // Tremolo: its parameter window is live
    ASSERT_TRUE(params->isBuilt());
    auto* slider = params->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    QList<QByteArray> reports;
    QObject::connect(device.get(), &DeviceController::controlMoved,
                     [&](const QByteArray& r) { reports.append(r); });
    // Nobody polls by hand: the one receive tick of the process reads it.
    ASSERT_TRUE(connection->tickRunning());
    const int target = slider->value() == 700 ? 300 : 700;
    pedal->turnKnob(0, 0, target);
    ASSERT_TRUE(waitFor([&] { return !reports.isEmpty() && slider->value() == target; }));
    // Let any second reader have its chance (a few rounds of the event loop):
    // each report arrives once.
    int rounds = 0;
    waitFor([&] { return reports.size() > 1 || ++rounds > 50; });
    EXPECT_EQ(reports, (QList<QByteArray>{bytes({0xAA, 0x00, 0x00, target >> 8, target & 0xFF})}));
}

}  // namespace
}  // namespace zendal::test
