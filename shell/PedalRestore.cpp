#include "shell/PedalRestore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include "core/Errors.h"
#include "core/Hex.h"
#include "core/Log.h"
#include "effects/EffectCatalogue.h"
#include "params/Assignments.h"
#include "params/EffectDescriptor.h"
#include "params/PanelMessages.h"
#include "params/PresetFile.h"
#include "params/PresetPedalLoad.h"
#include "protocol/Messages.h"
#include "protocol/PedalConnection.h"
#include "protocol/PedalInfo.h"
#include "protocol/PedalSequences.h"
#include "shell/PedalBackup.h"

namespace zendal::backup {

namespace {

QString effectText(int id) {
    const auto name = effect_name_by_id(id);
    return QStringLiteral("%1 (0x%2)").arg(name.value_or(QStringLiteral("effect"))).arg(hex2(id));
}

QString memoryLabel(const QString& address) {
    return (address == QLatin1String("51") ? QStringLiteral("bank memory (EEPROM %1)")
                                           : QStringLiteral("settings memory (EEPROM %1)"))
        .arg(address);
}

int differingBytes(const QByteArray& a, const QByteArray& b) {
    int n = int(std::abs(a.size() - b.size()));
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) n += a[i] != b[i] ? 1 : 0;
    return n;
}

// A value as the parameter's control shows it.
QString valueText(const TControlDescriptor& d, int i, qint64 value) {
    switch (d.kind(i)) {
        case TControlDescriptor::Kind::Pot:
            return QString::number(panel::sliderPositionForValue(value));
        case TControlDescriptor::Kind::Switch:
        case TControlDescriptor::Kind::Button:
            return panel::switchOnForValue(value) ? QStringLiteral("on") : QStringLiteral("off");
        case TControlDescriptor::Kind::MultiSwitch: {
            const int k = panel::choiceForValue(value, d.option_counts[i]);
            return d.options[i].value(k, QString::number(k));
        }
    }
    return {};
}

QString change(const QString& what, const QString& from, const QString& to) {
    return QStringLiteral("%1: %2 -> %3").arg(what, from, to);
}

QString reverseText(bool on) {
    return on ? QStringLiteral("reversed") : QStringLiteral("normal");
}

// What differs between the pedal's record and the backup's preset, one line
// per item, in the parameter window's order.
QStringList changesBetween(const TControlDescriptor& d, const SettingsRecord& rec,
                           const preset::PresetContents& file, const preset::FunctionBytes& f) {
    QStringList out;
    for (int i = 0; i < d.param_count; ++i) {
        if (d.kind(i) == TControlDescriptor::Kind::Button) continue;  // a preset never presses one
        const QString now = valueText(d, i, rec.values.value(i));
        const QString then = valueText(d, i, file.values.value(i));
        if (now != then) out << change(d.captions[i], now, then);
    }
    for (int i = 0; i < d.param_count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const QString now = assign::assignText(rec.assignmentBytes[k]);
        const QString then = assign::assignText(file.assignments.value(i, assign::kNotAssigned));
        if (now != then) out << change(d.captions[i] + QStringLiteral(" assignment"), now, then);
    }
    for (int i = 0; i < d.param_count; ++i) {
        const bool now =
            reverseByteMeaning(rec.reverseBytes[static_cast<std::size_t>(i)]) == ReverseByte::On;
        const QChar flag = file.reverse.value(i);
        const bool then = flag == u'1' ? true : flag == u'0' ? false : now;
        if (now != then)
            out << change(d.captions[i] + QStringLiteral(" reverse"), reverseText(now),
                          reverseText(then));
    }
    for (int j = 0; j < d.readback_count; ++j) {
        const QString now = assign::ledText(rec.ledBytes[static_cast<std::size_t>(j)]);
        const QString then = assign::ledText(file.leds.value(j, assign::kNotAssigned));
        if (now != then) out << change(QStringLiteral("LED ") + d.readback_names[j], now, then);
    }
    if (rec.bypassByte != f.bypass)
        out << change(QStringLiteral("bypass"), assign::functionText(rec.bypassByte),
                      assign::functionText(f.bypass));
    if (rec.presetByte != f.preset)
        out << change(recordMode(rec.mode) == RecordMode::Bank ? QStringLiteral("bank select")
                                                               : QStringLiteral("preset change"),
                      assign::functionText(rec.presetByte), assign::functionText(f.preset));
    return out;
}

// The manifest and every file it names, checked. The refusal says why not.
std::optional<Manifest> checkedManifest(const QString& folder, QString* refusal) {
    const QDir dir(folder);
    QFile file(dir.filePath(manifestFileName()));
    if (!file.open(QIODevice::ReadOnly)) {
        *refusal =
            QStringLiteral("%1 holds no pedal backup: %2 cannot be read (%3).")
                .arg(QDir::toNativeSeparators(folder), manifestFileName(), file.errorString());
        return std::nullopt;
    }
    QString error;
    const auto manifest = parseManifest(file.read(64 * 1024), &error);
    if (!manifest) {
        *refusal = QStringLiteral("%1 is not a pedal backup: %2.")
                       .arg(QDir::toNativeSeparators(folder), error);
        return std::nullopt;
    }
    for (const BackupFile& f : manifest->files) {
        QFile part(dir.filePath(f.name));
        if (!part.open(QIODevice::ReadOnly)) {
            *refusal = QStringLiteral("The backup is incomplete: %1 is missing.").arg(f.name);
            return std::nullopt;
        }
        // Hashed as it is read: a file swapped for a huge one costs no memory.
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!hash.addData(&part) || hash.result().toHex() != f.sha256) {
            *refusal = QStringLiteral("The backup is damaged: %1 does not match its checksum.")
                           .arg(f.name);
            return std::nullopt;
        }
    }
    return manifest;
}

// Each memory of the backup compared with the pedal's.
QStringList compareMemories(PedalConnection& connection, const RestorePlan& plan, bool* differ,
                            const QString& sameText, const QString& differText) {
    QStringList out;
    for (const QString& address : memoryAddresses()) {
        const QString label = memoryLabel(address);
        if (!plan.manifest.file(memoryFileName(address))) {
            out << label + QStringLiteral(": not in the backup");
            continue;
        }
        QFile file(QDir(plan.folder).filePath(memoryFileName(address)));
        const QByteArray saved = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        QString why;
        const auto now = readMemory(connection, address, &why);
        if (!now) {
            out << label + QStringLiteral(": cannot be read (%1)").arg(why);
            continue;
        }
        const int n = differingBytes(*now, saved);
        if (n == 0) {
            out << label + QStringLiteral(": ") + sameText;
            continue;
        }
        *differ = true;
        QString line =
            label + QStringLiteral(": ") +
            differText.arg(n == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(n));
        if (address == QLatin1String("51"))
            line += QStringLiteral(
                " (not written back: the pedal takes its banks only as effect "
                "uploads)");
        out << line;
    }
    return out;
}

}  // namespace

RestorePlan planRestore(PedalConnection& connection, const QString& folder,
                        const RestoreOptions& options) {
    RestorePlan plan;
    plan.folder = folder;
    const auto manifest = checkedManifest(folder, &plan.refusal);
    if (!manifest) return plan;
    plan.manifest = *manifest;
    const Manifest& m = *manifest;

    const PedalInfoReply reply = queryPedalInfo(connection);
    if (!reply.ok()) {
        plan.refusal = QStringLiteral("The pedal does not answer the device information request.");
        return plan;
    }
    PedalInfo info;
    try {
        info = parsePedalInfo(reply.reply);
    } catch (const ConversionError& e) {
        plan.refusal = QStringLiteral("Unexpected device information: ") + e.message();
        return plan;
    }
    if (m.firmware != info.firmware && !options.acceptOtherFirmware) {
        plan.refusal = QStringLiteral(
                           "This backup was made with firmware %1; the pedal runs "
                           "firmware %2.")
                           .arg(m.firmware)
                           .arg(info.firmware);
        return plan;
    }
    if (!m.effect) {
        plan.refusal = QStringLiteral(
            "This backup holds no effect settings: the pedal held no "
            "effect when it was made.");
        return plan;
    }
    if (info.empty || info.effect != *m.effect) {
        plan.refusal = QStringLiteral("This backup holds the settings of %1; the pedal runs %2.")
                           .arg(effectText(*m.effect),
                                info.empty ? QStringLiteral("no effect") : effectText(info.effect));
        return plan;
    }
    if (info.version != m.effectVersion) {
        plan.refusal = QStringLiteral("This backup holds %1 version %2; the pedal runs version %3.")
                           .arg(effectText(*m.effect))
                           .arg(m.effectVersion)
                           .arg(info.version);
        return plan;
    }

    QString why;
    TControlDescriptor d;
    const auto name = effect_name_by_id(info.effect, &why);
    if (!name || !loadEffectDescriptor(*name, &d, &why)) {
        plan.refusal = QStringLiteral("The pedal's effect cannot be described: ") + why;
        return plan;
    }
    plan.paramCount = d.param_count;
    const QString presetName = m.effectName + QStringLiteral(".txt");
    if (!m.file(presetName)) {
        plan.refusal = QStringLiteral("The backup is incomplete: %1 is missing.").arg(presetName);
        return plan;
    }
    QString text;
    if (!preset::readPresetFile(QDir(folder).filePath(presetName), &text, &why)) {
        plan.refusal = QStringLiteral("The backup's settings cannot be read: ") + why;
        return plan;
    }
    const preset::HeaderCheck header =
        preset::checkHeader(text, {info.effect, info.version, d.param_count, d.readback_count});
    if (!header.ok) {
        plan.refusal = QStringLiteral("The backup's settings cannot be read: ") +
                       header.messages.join(QLatin1Char(' '));
        return plan;
    }
    const auto contents = preset::readBody(text, d, &why);
    if (!contents) {
        plan.refusal = QStringLiteral("The backup's settings cannot be read: ") + why;
        return plan;
    }
    const SettingsReplyResult settings = requestSettingsRecord(connection, d.param_count);
    if (!settings.record) {
        plan.refusal = QStringLiteral("The pedal's settings cannot be read: ") + settings.error;
        return plan;
    }
    const SettingsRecord& rec = *settings.record;
    // In bank mode the footswitch carries bypass and bank select, as the
    // parameter window's lists show it.
    preset::FunctionBytes functions{m.bypassFunction.value_or(rec.bypassByte),
                                    m.presetFunction.value_or(rec.presetByte)};
    if (recordMode(rec.mode) == RecordMode::Bank)
        functions = {assign::functionByteForIndex(0), assign::functionByteForIndex(1)};
    plan.changes = changesBetween(d, rec, *contents, functions);
    plan.messages = preset::planPedalLoad(d, rec, *contents, functions).messages;
    plan.memories =
        compareMemories(connection, plan, &plan.memoriesDiffer, QStringLiteral("as in the backup"),
                        QStringLiteral("differs from the backup in %1"));
    return plan;
}

RestoreResult restorePedal(PedalConnection& connection, const RestorePlan& plan,
                           bool storeInMemory) {
    RestoreResult result;
    if (!plan.ok()) {
        result.error = plan.refusal;
        return result;
    }
    DebugPrint(QStringLiteral("restoring the backup in ") + plan.folder);
    if (!preset::sendPlanned(
            connection, plan.messages, [&](const QString& text) { result.sent << text; },
            &result.error))
        return result;
    if (storeInMemory) {
        const QString store = messages::storeSettings(plan.paramCount);
        DebugPrint(store);
        if (!sequences::storeSettings(connection, plan.paramCount).ok()) {
            result.error = QStringLiteral("the port failed while writing %1").arg(store);
            return result;
        }
        result.sent << store;
        bool differ = false;
        result.memories =
            compareMemories(connection, plan, &differ, QStringLiteral("as in the backup"),
                            QStringLiteral("still differs from the backup in %1"));
    }
    result.ok = true;
    return result;
}

}  // namespace zendal::backup
