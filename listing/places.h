// The differences of two images in the listing's own words: a line for
// each channel, talkgroup, lockout or setting whose rendering differs, and
// one for each differing byte that no rendering shows.
#pragma once

#include <string>
#include <vector>

/// The difference lines of two image files, in the order of the listing:
/// "PLACE: OLD -> NEW", and "byte 0xHHHH (WHERE): HH -> HH" for a byte that
/// no decoded field shows.  Each file holds at least a header and a body.
std::vector<std::string> compare_image_files(const std::string &old_file,
                                             const std::string &new_file);
