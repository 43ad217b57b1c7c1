// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// iTunes's gapless record of an MPEG-4 audio file, the "iTunSMPB" item:
// how many samples the encoder put before the sound and after it, and how
// many the sound has. Players of Apple's, and ffmpeg, trim by it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sundrel {

// The item's text as iTunes writes it: twelve hexadecimal fields, each
// after a blank; the second is the priming, the third the padding, the
// fourth (16 digits) the sample count, the others zero.
std::string GaplessRecordText(std::int64_t priming, std::int64_t padding, std::int64_t sampleFrames);

// Adds the item to the file's metadata list (moov/udta/meta/ilst). Only
// when moov is the file's last box: the item then moves no sample data, so
// only the sizes of the boxes that hold it change. False, the bytes
// unchanged, when the file is not laid out so.
bool AddGaplessRecord(std::vector<std::uint8_t>& file, const std::string& text);

}  // namespace sundrel
