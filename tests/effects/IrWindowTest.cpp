// "Load IR": the file dialog, the preview with its choices, the boxes and the
// editor's prepared image.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "IrSupport.h"
#include "WavFixture.h"
#include "core/Log.h"
#include "effects/ImpulseResponse.h"
#include "effects/ui/TformImpulseResponse.h"
#include "effects/ui/TformImpulseResponsePreview.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "support/ScriptedPrompt.h"

using namespace zendal;
using namespace zendal::test;

namespace {

class LoadIrWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        device.reset();
        device.setCurrentCategory(QStringLiteral("Impulse Response"));
        device.setSelectedEffectName(QStringLiteral("Woolly + Cabinet Sim"));
        device.setPreparedIr(QStringLiteral("PREVIOUS"), QStringLiteral("Basic Cabinet Sim"));
        Log::instance().clear();
    }
    void TearDown() override { device.reset(); }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // Opens the preview for a file; null (and a failure) when it did not open.
    TformImpulseResponsePreview* openPreview(const QString& name, const QByteArray& bytes) {
        prompt.answerFile(writeFile(name, bytes));
        EXPECT_TRUE(form.load_impulse_response());
        return form.preview();
    }
    // A key as the user types it: to the widget with the focus in the preview.
    static void press(TformImpulseResponsePreview* preview, Qt::Key key) {
        QWidget* target = preview->focusWidget() ? preview->focusWidget() : preview;
        QTest::keyClick(target, key);
    }
    void expectUnchanged() {
        EXPECT_EQ(device.preparedIrImage(), QStringLiteral("PREVIOUS"));
        EXPECT_EQ(device.preparedIrEffect(), QStringLiteral("Basic Cabinet Sim"));
    }

    QTemporaryDir dir;
    ScriptedPrompt prompt;
    PedalConnection connection;
    DeviceController device{connection};
    TformImpulseResponse form{device};
};

TEST_F(LoadIrWindow, IsNeverShownAndCarriesItsCaption) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("IR"));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(LoadIrWindow, ShowsThePreparationAndLoadsItOnEnter) {
    const auto samples = knownSamples(703, 24, 9);  // the slot's length
    const QByteArray wav = pcmWav(samples, 1, 48000, 24);
    QSignalSpy prepared(&form, &TformImpulseResponse::impulseResponsePrepared);

    TformImpulseResponsePreview* preview = openPreview(QStringLiteral("cab.wav"), wav);
    ASSERT_NE(preview, nullptr);
    ASSERT_EQ(prompt.dialogs.size(), 1u);
    EXPECT_EQ(prompt.dialogs[0].filter, QStringLiteral("Wave Files (*.wav)"));
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->factsText(),
              QStringLiteral("Selected file data:\nName: cab.wav\nSize: %1\nSample rate: 48000\n"
                             "Bits per sample: 24\nChannels: 1\nLength: 703 samples (14.6 ms)")
                  .arg(wav.size()));
    EXPECT_EQ(preview->stepsText(),
              QStringLiteral("What will be done:\nSample rate: 48000 Hz, kept\n"
                             "Channel: the only one (mono)\n"
                             "Length: the effect's 14.6 ms (703 samples), kept\n"
                             "Level: kept (peak 0.0 dBFS)"));
    EXPECT_FALSE(preview->channelBox()->isEnabled());  // mono: nothing to choose
    EXPECT_EQ(preview->plots()->data().samples.size(), 703u);
    // Nothing changes while the user looks.
    expectUnchanged();
    EXPECT_FALSE(Log::instance().lines().contains(QStringLiteral("cab.wav")));

    press(preview, Qt::Key_Return);

    const IrLayout l = *irLayoutFor(QStringLiteral("Woolly + Cabinet Sim"));
    const QString image = imageFor(l);
    ASSERT_EQ(device.preparedIrImage().size(), image.size());
    EXPECT_EQ(device.preparedIrImage().mid(2 * l.offset, 8 * l.samples), wordsHex(samples));
    EXPECT_EQ(device.preparedIrEffect(), QStringLiteral("Woolly + Cabinet Sim"));
    EXPECT_TRUE(prompt.all().isEmpty());  // the preview said it all
    EXPECT_EQ(prepared.count(), 1);
    const QStringList& log = Log::instance().lines();
    EXPECT_TRUE(log.contains(QStringLiteral("cab.wav")));
    EXPECT_TRUE(log.contains(QStringLiteral("Bits_per_sample: 24")));
    EXPECT_EQ(log.last(), device.preparedIrImage());
}

TEST_F(LoadIrWindow, EnterAndTheLoadButtonLoadEscapeAndCancelChangeNothing) {
    const QByteArray wav = pcmWav(knownSamples(703, 24, 3), 1, 48000, 24);
    struct Case {
        const char* name;
        std::function<void(TformImpulseResponsePreview*)> act;
        bool loads;
    } cases[] = {
        {"Return", [](auto* p) { press(p, Qt::Key_Return); }, true},
        {"Enter", [](auto* p) { press(p, Qt::Key_Enter); }, true},
        {"LoadButton", [](auto* p) { p->loadButton()->click(); }, true},
        {"Escape", [](auto* p) { press(p, Qt::Key_Escape); }, false},
        {"Closed", [](auto* p) { p->close(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device.setPreparedIr(QStringLiteral("PREVIOUS"), QStringLiteral("Basic Cabinet Sim"));
        TformImpulseResponsePreview* preview = openPreview(QStringLiteral("cab.wav"), wav);
        ASSERT_NE(preview, nullptr);
        c.act(preview);
        EXPECT_FALSE(preview->isVisible());
        if (c.loads) {
            EXPECT_EQ(device.preparedIrEffect(), QStringLiteral("Woolly + Cabinet Sim"));
        } else {
            expectUnchanged();
        }
        // The preview goes away; the next import opens a new one.
        QTRY_VERIFY_WITH_TIMEOUT(form.preview() == nullptr, 10000);
    }
}

TEST_F(LoadIrWindow, ChoicesPrepareAgainAndAreRemembered) {
    // Left: an impulse at 10, right: one at 20, half as loud; 44.1 kHz and
    // longer than the slot.
    std::vector<qint64> stereo;
    for (int i = 0; i < 2000; ++i)
        stereo.insert(stereo.end(), {i == 10 ? 0x400000 : 0, i == 20 ? 0x200000 : 0});
    const QByteArray wav = pcmWav(stereo, 2, 44100, 24);

    TformImpulseResponsePreview* preview = openPreview(QStringLiteral("stereo.wav"), wav);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->channelBox()->isEnabled());
    const QString steps = preview->stepsText();
    EXPECT_TRUE(steps.contains(QStringLiteral("Resampled from 44100 Hz to 48000 Hz")));
    EXPECT_TRUE(steps.contains(QStringLiteral("Channel: left (of 2 channels)")));
    EXPECT_TRUE(steps.contains(QStringLiteral("with a 2.0 ms fade-out")));
    EXPECT_EQ(preview->plots()->data().fadeStart, 703 - 96);

    preview->channelBox()->setCurrentIndex(preview->channelBox()->findData(int(IrChannel::Right)));
    preview->normalizeBox()->setChecked(true);
    EXPECT_TRUE(preview->stepsText().contains(QStringLiteral("Channel: right (of 2 channels)")));
    EXPECT_TRUE(preview->stepsText().contains(QStringLiteral("Normalised by")));
    const IrImport expected = prepareImpulseResponse(dir.filePath(QStringLiteral("stereo.wav")),
                                                     QStringLiteral("Woolly + Cabinet Sim"),
                                                     std::nullopt, {IrChannel::Right, true});
    ASSERT_TRUE(expected.ok());
    EXPECT_EQ(preview->current().image, expected.image);
    press(preview, Qt::Key_Return);
    EXPECT_EQ(device.preparedIrImage(), expected.image);

    // The next import starts from the same choices.
    QTRY_VERIFY_WITH_TIMEOUT(form.preview() == nullptr, 10000);
    TformImpulseResponsePreview* again = openPreview(QStringLiteral("stereo.wav"), wav);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->channelBox()->currentData().toInt(), int(IrChannel::Right));
    EXPECT_TRUE(again->normalizeBox()->isChecked());
    EXPECT_EQ(form.options().channel, IrChannel::Right);
    press(again, Qt::Key_Escape);
}

TEST_F(LoadIrWindow, AChoiceThatLeavesNothingCannotBeLoaded) {
    // The right channel is silent.
    std::vector<qint64> stereo;
    for (int i = 0; i < 703; ++i) stereo.insert(stereo.end(), {i == 10 ? 0x400000 : 0, 0});
    TformImpulseResponsePreview* preview =
        openPreview(QStringLiteral("left-only.wav"), pcmWav(stereo, 2, 48000, 24));
    ASSERT_NE(preview, nullptr);
    preview->channelBox()->setCurrentIndex(preview->channelBox()->findData(int(IrChannel::Right)));
    EXPECT_FALSE(preview->loadButton()->isEnabled());
    EXPECT_TRUE(preview->stepsText().contains(QStringLiteral("silent")));
    EXPECT_TRUE(preview->plots()->data().samples.empty());
    press(preview, Qt::Key_Return);
    expectUnchanged();
    // Back to the left channel: loadable again.
    preview->channelBox()->setCurrentIndex(preview->channelBox()->findData(int(IrChannel::Left)));
    EXPECT_TRUE(preview->loadButton()->isEnabled());
    press(preview, Qt::Key_Escape);
    expectUnchanged();
}

TEST_F(LoadIrWindow, CancelledDialogChangesNothing) {
    form.menuLoadIRClick();
    EXPECT_EQ(prompt.dialogs.size(), 1u);
    EXPECT_TRUE(prompt.all().isEmpty());
    expectUnchanged();
}

TEST_F(LoadIrWindow, RefusedFileShowsWhyAndKeepsThePreviousImage) {
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"notes.wav", QByteArray("not audio")},
        {"silent.wav", pcmWav(std::vector<qint64>(800, 0), 1, 48000, 24)},
        {"u8.wav", riffWave({chunk("fmt ", fmtBody(1, 1, 48000, 8)),
                             chunk("data", QByteArray(2000, '\x80'))})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompt.informations.clear();
        prompt.answerFile(writeFile(QString::fromLatin1(c.name), c.bytes));
        form.menuLoadIRClick();
        ASSERT_EQ(prompt.informations.size(), 1);
        EXPECT_FALSE(prompt.informations[0].startsWith(QStringLiteral("Selected file data:")));
        EXPECT_EQ(form.preview(), nullptr);
        expectUnchanged();
    }
}

TEST_F(LoadIrWindow, AnEffectWithoutImpulseResponseOpensNoDialog) {
    for (const char* effect : {"", "Tape Echo + Wah-Wah"}) {
        SCOPED_TRACE(effect);
        prompt.informations.clear();
        device.setSelectedEffectName(QString::fromLatin1(effect));
        prompt.answerFile(
            writeFile(QStringLiteral("ok.wav"), pcmWav(knownSamples(1000, 24, 1), 1, 48000, 24)));
        EXPECT_FALSE(form.load_impulse_response());
        EXPECT_TRUE(prompt.dialogs.empty());
        EXPECT_EQ(prompt.informations.size(), 1);
        expectUnchanged();
    }
}

}  // namespace
