#include "params/DescriptorParser.h"

#include "core/Log.h"
#include "effects/EffectCatalogue.h"

namespace zendal {

namespace {

constexpr int kAddressTableStart = 6;  // character index of byte 3 of the image
constexpr int kAddressDigits = 4;
constexpr int kAddressTableEnd =
    kAddressTableStart + TControlDescriptor::kMaxParams * kAddressDigits;

QString refusal(const QString& effectName, const QString& reason) {
    return QStringLiteral("The control descriptor of \"%1\" is refused: %2")
        .arg(effectName, reason);
}

QString imageRefusal(const QString& effectName, const QString& reason) {
    return QStringLiteral("The effect image of \"%1\" is refused: %2").arg(effectName, reason);
}

// One header digit: "0"-"9" or upper-case "A"-"F"; -1 otherwise.
int headerDigit(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return c.unicode() - '0';
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) return c.unicode() - 'A' + 10;
    return -1;
}

bool isHexText(const QString& text) {
    for (QChar c : text) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool upper = c >= QLatin1Char('A') && c <= QLatin1Char('F');
        const bool lower = c >= QLatin1Char('a') && c <= QLatin1Char('f');
        if (!digit && !upper && !lower) return false;
    }
    return true;
}

void logLine(const DescriptorLog& log, const QString& line) {
    if (log) log(line);
}

QString beforeFirst(const QString& line, QChar separator) {
    const qsizetype at = line.indexOf(separator);
    return at < 0 ? line : line.left(at);
}

void parseSwitchLine(const QString& line, int index, TControlDescriptor& d,
                     const DescriptorLog& log) {
    d.captions[index] = beforeFirst(line, QLatin1Char(':'));
    if (line.contains(QLatin1Char('@'))) {
        d.is_button[index] = true;  // a button takes nothing but its caption
        return;
    }
    const qsizetype first = line.indexOf(QLatin1Char(':'));
    if (first < 0) {
        d.off_texts[index] = line;
        d.on_texts[index] = line;
    } else {
        const qsizetype second = line.indexOf(QLatin1Char(':'), first + 1);
        if (second < 0) {
            d.off_texts[index] = line.mid(first + 1);
            d.on_texts[index] = d.off_texts[index];
        } else {
            d.off_texts[index] = line.mid(first + 1, second - first - 1);
            d.on_texts[index] = line.mid(second + 1);
        }
    }
    logLine(log, d.off_texts[index]);
    logLine(log, d.on_texts[index]);
}

}  // namespace

DescriptorResult parseControlLines(const QString& text, const QString& effectName,
                                   const DescriptorLog& log) {
    const QStringList lines = split_text_lines(text);
    if (lines.isEmpty()) return {std::nullopt, refusal(effectName, QStringLiteral("it is empty."))};

    const QString header = lines.first();
    const bool hasReadbackDigit = header.size() == 4;
    const int digitsRead = hasReadbackDigit ? 4 : 3;
    int counts[4] = {0, 0, 0, 0};
    bool headerOk = header.size() >= 3;
    for (int i = 0; headerOk && i < digitsRead; ++i) {
        counts[i] = headerDigit(header.at(i));
        headerOk = counts[i] >= 0;
    }
    if (!headerOk) {
        return {std::nullopt,
                refusal(effectName, QStringLiteral("its first line \"%1\" does not start with "
                                                   "three digits 0-9 or A-F.")
                                        .arg(header))};
    }

    TControlDescriptor d;
    d.pot_count = counts[0];
    d.switch_count = counts[1];
    d.multi_count = counts[2];
    d.readback_count = counts[3];
    d.param_count = d.pot_count + d.switch_count + d.multi_count;
    logLine(log, QStringLiteral("num of pots: %1").arg(d.pot_count));
    logLine(log, QStringLiteral("num of switches: %1").arg(d.switch_count));
    logLine(log, QStringLiteral("num of multi switch: %1").arg(d.multi_count));
    if (hasReadbackDigit)
        logLine(log, QStringLiteral("num of readbacks: %1").arg(d.readback_count));

    if (d.param_count > TControlDescriptor::kMaxParams) {
        return {std::nullopt,
                refusal(effectName, QStringLiteral("it declares %1 parameters; at most %2 are "
                                                   "supported.")
                                        .arg(d.param_count)
                                        .arg(TControlDescriptor::kMaxParams))};
    }
    if (d.readback_count > TControlDescriptor::kMaxReadbacks) {
        return {std::nullopt,
                refusal(effectName, QStringLiteral("it declares %1 readbacks; at most %2 are "
                                                   "supported.")
                                        .arg(d.readback_count)
                                        .arg(TControlDescriptor::kMaxReadbacks))};
    }
    if (d.pot_count == 0) {
        return {std::nullopt,
                refusal(effectName, QStringLiteral("it declares no pot; at least one is needed."))};
    }
    const int needed = 1 + d.param_count + d.readback_count;
    if (lines.size() < needed) {
        return {std::nullopt,
                refusal(effectName, QStringLiteral("its header declares %1 controls and %2 "
                                                   "readbacks, but only %3 lines follow it.")
                                        .arg(d.param_count)
                                        .arg(d.readback_count)
                                        .arg(lines.size() - 1))};
    }

    for (int i = 0; i < d.param_count; ++i) {
        const QString& line = lines.at(1 + i);
        d.control_names[i] = line;
        logLine(log, line);
        if (i < d.pot_count) {
            d.captions[i] = line;
        } else if (i < d.pot_count + d.switch_count) {
            parseSwitchLine(line, i, d, log);
        } else {
            const qsizetype first = line.indexOf(QLatin1Char(';'));
            const int choices = static_cast<int>(line.count(QLatin1Char(';')));
            if (choices == 0) {
                return {std::nullopt,
                        refusal(effectName, QStringLiteral("its multi-switch \"%1\" (line %2) has "
                                                           "no choices.")
                                                .arg(line)
                                                .arg(2 + i))};
            }
            d.captions[i] = line.left(first);
            d.option_counts[i] = choices;
            const QString rest = line.mid(first + 1);
            logLine(log, rest);
            d.options[i] = rest.split(QLatin1Char(';'));
            for (const QString& choice : d.options[i]) logLine(log, choice);
        }
    }
    for (int j = 0; j < d.readback_count; ++j) {
        d.readback_names[j] = lines.at(1 + d.param_count + j);
        logLine(log, d.readback_names[j]);
    }
    return {d, QString()};
}

std::optional<QString> parseParameterAddresses(const QString& imageFirstLine,
                                               const QString& effectName, TControlDescriptor& d,
                                               const DescriptorLog& log) {
    if (imageFirstLine.size() < kAddressTableEnd) {
        return imageRefusal(effectName,
                            QStringLiteral("its first line holds %1 characters, too few for the "
                                           "parameter address table (%2 are needed).")
                                .arg(imageFirstLine.size())
                                .arg(kAddressTableEnd));
    }
    std::array<QString, TControlDescriptor::kMaxParams> addresses;
    for (int i = 0; i < TControlDescriptor::kMaxParams; ++i) {
        addresses[i] = imageFirstLine.mid(kAddressTableStart + kAddressDigits * i, kAddressDigits);
        if (!isHexText(addresses[i])) {
            return imageRefusal(effectName,
                                QStringLiteral("parameter address %1 (\"%2\") is not hexadecimal.")
                                    .arg(i)
                                    .arg(addresses[i]));
        }
    }
    for (const QString& address : addresses) {
        logLine(log, QStringLiteral("parameter address: ") + address);
    }
    d.param_addresses = addresses;
    return std::nullopt;
}

DescriptorResult parseControlDescriptor(const QString& text, const QString& imageFirstLine,
                                        const QString& effectName) {
    DescriptorResult result = parseControlLines(text, effectName);
    if (!result.ok()) return result;
    if (auto error = parseParameterAddresses(imageFirstLine, effectName, *result.descriptor)) {
        return {std::nullopt, *error};
    }
    return result;
}

namespace {

const DescriptorLog kDebugLog = [](const QString& line) { DebugPrint(line); };

bool loadLines(const QString& resourceName, const QString& effectName, TControlDescriptor* out,
               QString* error) {
    QString readError;
    const QStringList lines =
        read_file_from_stream(resourceName + QStringLiteral("_ctrls"), &readError);
    if (!readError.isEmpty()) {
        if (error) *error = readError;
        return false;
    }
    DescriptorResult result =
        parseControlLines(lines.join(QStringLiteral("\r\n")), effectName, kDebugLog);
    if (!result.ok()) {
        if (error) *error = result.error;
        return false;
    }
    if (out) *out = *result.descriptor;
    return true;
}

bool loadAddresses(const QString& resourceName, const QString& effectName, TControlDescriptor* out,
                   QString* error) {
    DebugPrint(QStringLiteral("resource name: ") + resourceName);
    QString readError;
    const QStringList lines = read_file_from_stream(resourceName, &readError);
    if (!readError.isEmpty()) {
        if (error) *error = readError;
        return false;
    }
    const QString first = lines.isEmpty() ? QString() : lines.first();
    DebugPrint(QStringLiteral("content: ") + first);
    DebugPrint(QStringLiteral("file content size: %1").arg(first.size() / 2));
    TControlDescriptor scratch;
    TControlDescriptor& target = out ? *out : scratch;
    if (auto refused = parseParameterAddresses(first, effectName, target, kDebugLog)) {
        if (error) *error = *refused;
        return false;
    }
    return true;
}

}  // namespace

bool load_control_descriptor(const QString& resourceName, TControlDescriptor* out, QString* error) {
    return loadLines(resourceName, resourceName, out, error);
}

bool read_parameter_addresses(const QString& resourceName, TControlDescriptor* out,
                              QString* error) {
    return loadAddresses(resourceName, resourceName, out, error);
}

bool loadDescriptorForEffect(const QString& effectName, TControlDescriptor* out, QString* error) {
    const QString resourceName = format_resource_name(effectName);
    TControlDescriptor d;
    if (!loadLines(resourceName, effectName, &d, error)) return false;
    if (!loadAddresses(resourceName, effectName, &d, error)) return false;
    if (out) *out = d;
    return true;
}

}  // namespace zendal
