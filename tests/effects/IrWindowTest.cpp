// "Load IR": the file dialog, the boxes and the editor's prepared image.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "IrSupport.h"
#include "WavFixture.h"
#include "core/EditorState.h"
#include "core/Log.h"
#include "effects/ImpulseResponse.h"
#include "effects/ui/TformImpulseResponse.h"
#include "support/ScriptedPrompt.h"

using namespace zendal;
using namespace zendal::test;

namespace {

class LoadIrWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        editorState().reset();
        editorState().current_category = QStringLiteral("Impulse Response");
        editorState().selected_effect_name = QStringLiteral("Woolly + Cabinet Sim");
        editorState().prepared_ir_image = QStringLiteral("PREVIOUS");
        editorState().prepared_ir_effect = QStringLiteral("Basic Cabinet Sim");
        Log::instance().clear();
    }
    void TearDown() override { editorState().reset(); }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    void expectUnchanged() {
        EXPECT_EQ(editorState().prepared_ir_image, QStringLiteral("PREVIOUS"));
        EXPECT_EQ(editorState().prepared_ir_effect, QStringLiteral("Basic Cabinet Sim"));
    }

    QTemporaryDir dir;
    ScriptedPrompt prompt;
    TformImpulseResponse form;
};

TEST_F(LoadIrWindow, IsNeverShownAndCarriesItsCaption) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("IR"));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(LoadIrWindow, ImportsTheChosenFileForTheChosenEffect) {
    const auto samples = knownSamples(800, 24, 9);
    const QByteArray wav = pcmWav(samples, 1, 48000, 24);
    prompt.answerFile(writeFile(QStringLiteral("cab.wav"), wav));
    QSignalSpy prepared(&form, &TformImpulseResponse::impulseResponsePrepared);

    form.menuLoadIRClick();

    ASSERT_EQ(prompt.dialogs.size(), 1u);
    EXPECT_EQ(prompt.dialogs[0].filter, QStringLiteral("Wave Files (*.wav)"));
    const IrLayout l = *irLayoutFor(QStringLiteral("Woolly + Cabinet Sim"));
    const QString image = imageFor(l);
    ASSERT_EQ(editorState().prepared_ir_image.size(), image.size());
    EXPECT_EQ(editorState().prepared_ir_image.mid(2 * l.offset, 8 * l.samples),
              wordsHex(std::vector<qint64>(samples.begin(), samples.begin() + 703)));
    EXPECT_EQ(editorState().prepared_ir_effect, QStringLiteral("Woolly + Cabinet Sim"));
    EXPECT_EQ(prompt.informations,
              QStringList{QStringLiteral("Selected file data:\r\nName: cab.wav\r\nSize: %1\r\n"
                                         "Sample rate: 48000\r\nBits per sample: 24\r\n"
                                         "Channel used: 1 of 1")
                              .arg(wav.size())});
    EXPECT_EQ(prepared.count(), 1);
    const QStringList& log = Log::instance().lines();
    EXPECT_TRUE(log.contains(QStringLiteral("cab.wav")));
    EXPECT_TRUE(log.contains(QStringLiteral("Bits_per_sample: 24")));
    EXPECT_EQ(log.last(), editorState().prepared_ir_image);
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
        {"short.wav", pcmWav(knownSamples(100, 24, 1), 1, 48000, 24)},
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
        expectUnchanged();
    }
}

TEST_F(LoadIrWindow, AnEffectWithoutImpulseResponseOpensNoDialog) {
    for (const char* effect : {"", "Tape Echo + Wah-Wah"}) {
        SCOPED_TRACE(effect);
        prompt.informations.clear();
        editorState().selected_effect_name = QString::fromLatin1(effect);
        prompt.answerFile(
            writeFile(QStringLiteral("ok.wav"), pcmWav(knownSamples(1000, 24, 1), 1, 48000, 24)));
        EXPECT_FALSE(form.load_impulse_response());
        EXPECT_TRUE(prompt.dialogs.empty());
        EXPECT_EQ(prompt.informations.size(), 1);
        expectUnchanged();
    }
}

}  // namespace
