#pragma once

#include <QString>
#include <vector>

#include "effects/ImpulseResponse.h"

namespace zendal::test {

// The catalogue image of an effect, or a synthetic one of the same kind when
// the catalogue has none: destination 00, length, a filler that is not an IR.
QString imageFor(const IrLayout& layout);

// Hex text of the pedal words, 8 digits each.
QString wordsHex(const std::vector<qint64>& words);

// Words expected from integer samples `bits` wide: the sample's top 24 bits,
// sign-extended (16-bit samples gain 8 zero bits below).
std::vector<qint64> expectedWords(const std::vector<qint64>& samples, int bits);

// Every other sample, starting at `first`: one channel of an interleaved pair.
std::vector<qint64> channelOf(const std::vector<qint64>& interleaved, int channels, int first);

}  // namespace zendal::test
