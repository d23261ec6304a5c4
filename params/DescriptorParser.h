#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "params/ControlDescriptor.h"

// Reading an effect's control descriptor (its "_CTRLS" resource) and the
// parameter address table at the head of its image. The parsing itself is pure;
// the catalogue-reading functions log every step with DebugPrint.
namespace zendal {

struct DescriptorResult {
    std::optional<TControlDescriptor> descriptor;
    QString error;  // the refusal, naming the effect and the reason
    bool ok() const { return descriptor.has_value(); }
};

// Receives the log lines of a parse; empty: no logging.
using DescriptorLog = std::function<void(const QString&)>;

// Descriptor text and the first line of the effect image -> the descriptor, or
// a refusal. Refused: a header that is not three or more characters of which
// the first three (and a fourth on a four-character line) are digits 0-9/A-F,
// more than 16 parameters, more than 4 readbacks, no pot, a multi-switch
// without choices, fewer lines than 1 + N + R, and an image line too short
// for the 16-entry address table (or with a non-hexadecimal entry).
DescriptorResult parseControlDescriptor(const QString& text, const QString& imageFirstLine,
                                        const QString& effectName);

// The two halves. parseControlLines fills everything but param_addresses.
DescriptorResult parseControlLines(const QString& text, const QString& effectName,
                                   const DescriptorLog& log = {});
// Fills d.param_addresses (all 16 entries) from the image's first line;
// returns the refusal, or nullopt on success.
std::optional<QString> parseParameterAddresses(const QString& imageFirstLine,
                                               const QString& effectName, TControlDescriptor& d,
                                               const DescriptorLog& log = {});

// Reads resourceName + "_ctrls" from the catalogue and replaces *out with the
// parsed descriptor (addresses empty). Logs the counts and every line.
bool load_control_descriptor(const QString& resourceName, TControlDescriptor* out, QString* error);
// Reads the image resource and fills out->param_addresses. Logs "resource
// name: ", "content: ", "file content size: " and the 16 "parameter address: " lines.
bool read_parameter_addresses(const QString& resourceName, TControlDescriptor* out, QString* error);
// Both, in that order, for an effect's display name; messages name the effect.
bool loadDescriptorForEffect(const QString& effectName, TControlDescriptor* out, QString* error);

}  // namespace zendal
