// The image comparer: what an upload will change, as one line for each
// thing of the scanner's memory that differs, in the listing's own words,
// or as a unified diff of the two listings.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

/// The unified diff of two texts' lines, with three lines of context, as
/// diff -u writes it under the labels given; empty when they are the same.
std::string unified_diff(const std::vector<std::string> &old_lines,
                         const std::vector<std::string> &new_lines,
                         const std::string &old_label,
                         const std::string &new_label);

/// Runs the whole program: the differences on out, trouble on err; the
/// exit status, 0 for the same, 1 for a difference and 2 for trouble.
int run_imgdiff(int argc, char **argv, FILE *out, FILE *err);
