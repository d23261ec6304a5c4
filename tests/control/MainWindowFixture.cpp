#include "MainWindowFixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QThread>
#include <cstring>

#include "core/EditorState.h"
#include "core/Log.h"
#include "link/D2XXUnit.h"

namespace zendal::test {

QStringList RecordingDriver::hexWrites() const {
    QStringList out;
    for (const QByteArray& w : writes) out.append(QString::fromLatin1(w.toHex().toUpper()));
    return out;
}

FT_STATUS RecordingDriver::Write(FT_HANDLE h, const void* buffer, std::uint32_t n,
                                 std::uint32_t* done) {
    const QByteArray bytes(static_cast<const char*>(buffer), int(n));
    if (!bytes.isEmpty()) {
        auto it = canned_.find(static_cast<std::uint8_t>(bytes.at(0)));
        if (it != canned_.end() && !it->second.empty()) {
            // Answered here; the pedal never sees the message. The port must
            // still be open for it to count as written.
            std::uint32_t queued = 0;
            const FT_STATUS s = inner_.GetQueueStatus(h, &queued);
            if (s != FT_OK) return s;
            writes.push_back(bytes);
            extra_ += it->second.front();
            it->second.pop_front();
            *done = n;
            return FT_OK;
        }
    }
    const FT_STATUS s = inner_.Write(h, buffer, n, done);
    if (s == FT_OK) writes.push_back(bytes);
    return s;
}

FT_STATUS RecordingDriver::Read(FT_HANDLE h, void* buffer, std::uint32_t toRead,
                                std::uint32_t* got) {
    *got = 0;
    if (!extra_.isEmpty()) {
        std::uint32_t queued = 0;
        const FT_STATUS s = inner_.GetQueueStatus(h, &queued);
        if (s != FT_OK) return s;
        const auto n = std::min<std::uint32_t>(toRead, std::uint32_t(extra_.size()));
        std::memcpy(buffer, extra_.constData(), n);
        extra_.remove(0, n);
        *got = n;
        if (n == toRead) return FT_OK;
        std::uint32_t more = 0;
        const FT_STATUS r = inner_.Read(h, static_cast<char*>(buffer) + n, toRead - n, &more);
        *got += more;
        return r;
    }
    return inner_.Read(h, buffer, toRead, got);
}

FT_STATUS RecordingDriver::Purge(FT_HANDLE h, std::uint32_t mask) {
    const FT_STATUS s = inner_.Purge(h, mask);
    if (s == FT_OK && (mask & FT_PURGE_RX)) {
        ++receivePurges;
        extra_.clear();
    }
    return s;
}

FT_STATUS RecordingDriver::GetQueueStatus(FT_HANDLE h, std::uint32_t* queued) {
    if (extra_.isEmpty() && !pieces_.empty()) {
        extra_ = pieces_.front();
        pieces_.pop_front();
    }
    const FT_STATUS s = inner_.GetQueueStatus(h, queued);
    if (s == FT_OK) *queued += std::uint32_t(extra_.size());
    return s;
}

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
    editorState().reset();
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
