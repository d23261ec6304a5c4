// The running editor hears of a pedal plugged back in from the device hub, as
// the application wires it: nothing in these tests calls devicesChanged().
#include <QLabel>
#include <QObject>

#include "MainWindowFixture.h"
#include "link/D2XXUnit.h"
#include "link/DeviceHub.h"

namespace zendal::test {
namespace {

class MainWindowReplug : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        hub.addBackend(driver.get(), QStringLiteral("virtual"));
        pedalDriver->setPlugHandler([this] { hub.notifyDevicesChanged(); });
        d2xx().setDriver(&hub);
        createWindows();
        QObject::connect(&hub, &DeviceHub::devicesChanged, main.get(), &TformMain::devicesChanged);
        scanAndLink();
        ASSERT_TRUE(d2xx().isOpen());
        prompt->informations.clear();
    }
    void TearDown() override {
        pedalDriver->setPlugHandler({});
        MainWindowTest::TearDown();
    }
    QString label() const { return widget<QLabel>("lblDeviceName")->text(); }

    DeviceHub hub;
};

const QString kOffer = QStringLiteral("The pedal is plugged in again. Link to it now?");

TEST_F(MainWindowReplug, PluggingBackInOffersToLinkAgain) {
    pedal->unplug();
    ASSERT_TRUE(waitFor([] { return !d2xx().isOpen(); }));
    EXPECT_EQ(label(), QStringLiteral("Pedal unplugged"));
    EXPECT_TRUE(prompt->confirmations.isEmpty()) << "nothing to offer while it is gone";

    prompt->answerConfirm(true);
    pedal->replug();
    ASSERT_TRUE(waitFor([this] { return !prompt->confirmations.isEmpty(); }));
    EXPECT_EQ(prompt->confirmations, QStringList{kOffer});
    ASSERT_TRUE(waitFor([] { return d2xx().isOpen(); }));
    EXPECT_EQ(label(), QStringLiteral("FT230X Basic UART linked"));
}

TEST_F(MainWindowReplug, AnUnplugAndReplugBeforeTheTickLooksIsNotMissed) {
    // Out and back in at once: the device is listed again when the receive
    // tick first fails, but its handle is dead.
    prompt->answerConfirm(true);
    pedal->unplug();
    pedal->replug();
    ASSERT_TRUE(waitFor([this] { return !prompt->confirmations.isEmpty(); }));
    EXPECT_EQ(prompt->confirmations, QStringList{kOffer});
    EXPECT_TRUE(logHas(QStringLiteral("the pedal was unplugged")));
    ASSERT_TRUE(waitFor([] { return d2xx().isOpen() && !d2xx().deviceGone(); }));
    EXPECT_EQ(label(), QStringLiteral("FT230X Basic UART linked"));
    // No box on the way.
    EXPECT_TRUE(prompt->informations.isEmpty()) << prompt->all().join('|').toStdString();
}

}  // namespace
}  // namespace zendal::test
