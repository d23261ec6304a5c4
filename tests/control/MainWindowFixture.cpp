#include "MainWindowFixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QThread>
#include <cstring>

#include "core/Log.h"
#include "link/D2XXUnit.h"

namespace zendal::test {

void MainWindowTest::SetUp() {
    // No test reaches the maker's web server: the version check goes to a
    // closed loopback port.
    qputenv("ZENDAL_WEB_BASE", "https://127.0.0.1:9");
    connection = std::make_unique<PedalConnection>();
    connection->makeProcessPort();
    device = std::make_unique<DeviceController>(*connection);
    home = std::make_unique<TempHome>();
    prompt = std::make_unique<ScriptedPrompt>();
    fakeClock = std::make_unique<FakeClock>();
    pedal = std::make_unique<VirtualPedal>();
    pedalDriver = std::make_unique<VirtualPedalDriver>(*pedal);
    driver = std::make_unique<RecordingDriver>(*pedalDriver);
    d2xx().setDriver(driver.get());
    d2xx().FTHandle = 0;
    Log::instance().clear();
}

void MainWindowTest::TearDown() {
    destroyWindows();
    if (d2xx().isOpen()) d2xx().CloseFTDevice();
    d2xx().setDriver(nullptr);
    d2xx().setErrorSink(nullptr);
    driver.reset();
    pedalDriver.reset();
    pedal.reset();
    fakeClock.reset();
    prompt.reset();
    home.reset();
    device->reset();
    device.reset();
    connection.reset();
}

void MainWindowTest::createWindows() {
    main = std::make_unique<TformMain>(*connection, *device);
    params = std::make_unique<TformFXParameters>(*device);
    main->attachParameterWindow(params.get());
    main->show();
}

void MainWindowTest::destroyWindows() {
    params.reset();
    main.reset();
}

QAction* MainWindowTest::item(const char* name) const {
    return main->action(QLatin1String(name));
}

void MainWindowTest::scanAndLink() {
    item("menuScan")->trigger();
}

void MainWindowTest::clickCategory(const QString& category) {
    auto* list = widget<QListWidget>("lstCategory");
    const auto found = list->findItems(category, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << category.toStdString();
    list->setCurrentItem(found.first());
    emit list->itemClicked(found.first());
}

QStringList MainWindowTest::uploadFile(const QString& path) {
    Log::instance().clear();
    prompt->answerFile(path);
    main->btnUploadFileClick();
    return Log::instance().lines();
}

void MainWindowTest::chooseEffect(const QString& category, const QString& effect) {
    clickCategory(category);
    auto* list = widget<QListWidget>("lstEffects");
    const auto found = list->findItems(effect, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << effect.toStdString();
    list->setCurrentItem(found.first());
    emit list->itemClicked(found.first());
}

bool MainWindowTest::waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
        // The pedal's bytes take their time on the fake clock: let it run.
        fakeClock->advance(kWaitStepMs);
    }
    return true;
}

void MainWindowTest::settlePedal() {
    fakeClock->advance(kWaitStepMs);
    pedal->settle(fakeClock->nowMs() * 1000);
}

bool MainWindowTest::logHas(const QString& line) const {
    return Log::instance().lines().contains(line);
}

QStringList MainWindowTest::writesSinceMark() const {
    return driver->hexWrites().mid(qsizetype(mark_));
}

}  // namespace zendal::test
