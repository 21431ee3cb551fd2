// The image comparer: what an upload will change, as one line for each
// thing of the scanner's memory that differs, in the listing's own words,
// or as a unified diff of the two listings.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

/// The difference lines of two image files, in the order of the listing:
/// "PLACE: OLD -> NEW", and "byte 0xHHHH (WHERE): HH -> HH" for a byte that
/// no decoded field shows.  Each file holds at least a header and a body.
std::vector<std::string> compare_image_files(const std::string &old_file,
                                             const std::string &new_file);

/// The unified diff of two texts' lines, with three lines of context, as
/// diff -u writes it under the labels given; empty when they are the same.
std::string unified_diff(const std::vector<std::string> &old_lines,
                         const std::vector<std::string> &new_lines,
                         const std::string &old_label,
                         const std::string &new_label);

/// Runs the whole program: the differences on out, trouble on err; the
/// exit status, 0 for the same, 1 for a difference and 2 for trouble.
int run_imgdiff(int argc, char **argv, FILE *out, FILE *err);
