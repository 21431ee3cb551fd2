// A unified diff of two texts' lines, as diff -u writes it: the longest
// common run of lines kept, changes in hunks with three lines of context.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imgdiff/imgdiff.h"

namespace {

constexpr int context = 3;

/// One step of an edit script: a line kept, removed or added, with the
/// index of its line in the old and the new text.
struct Step {
  char kind;  ///< ' ', '-' or '+'
  size_t old_line, new_line;
};

/// The edit script of the longest common subsequence; at a tie a line is
/// removed before one is added, as diff prints them.
std::vector<Step> edit_script(const std::vector<std::string> &a,
                              const std::vector<std::string> &b) {
  size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
    ++prefix;
  size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
    ++suffix;
  size_t n = a.size() - prefix - suffix, m = b.size() - prefix - suffix;
  // common[i][j]: the longest common run of a[prefix + i..] and
  // b[prefix + j..], both without the suffix.
  std::vector<uint32_t> common((n + 1) * (m + 1), 0);
  auto at = [&](size_t i, size_t j) -> uint32_t & {
    return common[i * (m + 1) + j];
  };
  for (size_t i = n; i-- > 0;)
    for (size_t j = m; j-- > 0;)
      at(i, j) = a[prefix + i] == b[prefix + j]
                     ? at(i + 1, j + 1) + 1
                     : std::max(at(i + 1, j), at(i, j + 1));
  std::vector<Step> steps;
  for (size_t k = 0; k < prefix; ++k)
    steps.push_back({' ', k, k});
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[prefix + i] == b[prefix + j]) {
      steps.push_back({' ', prefix + i++, prefix + j++});
    } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
      steps.push_back({'-', prefix + i++, prefix + j});
    } else {
      steps.push_back({'+', prefix + i, prefix + j++});
    }
  }
  for (size_t k = 0; k < suffix; ++k)
    steps.push_back({' ', prefix + n + k, prefix + m + k});
  return steps;
}

/// A hunk's range of one text: "start,count", "start" for one line, and
/// the line before it with ",0" for none.
std::string range_text(size_t before, size_t count) {
  if (count == 0)
    return std::to_string(before) + ",0";
  if (count == 1)
    return std::to_string(before + 1);
  return std::to_string(before + 1) + "," + std::to_string(count);
}

/// A line as the diff prints it: with its line end, or with a line feed
/// and diff's note when the text's last line has none.
std::string printed(char kind, const std::string &line) {
  std::string text = kind + line;
  if (line.empty() || line.back() != '\n')
    text += "\n\\ No newline at end of file\n";
  return text;
}

}  // namespace

std::string unified_diff(const std::vector<std::string> &old_lines,
                         const std::vector<std::string> &new_lines,
                         const std::string &old_label,
                         const std::string &new_label) {
  std::vector<Step> steps = edit_script(old_lines, new_lines);
  std::string text;
  size_t k = 0;
  while (k < steps.size()) {
    while (k < steps.size() && steps[k].kind == ' ')
      ++k;
    if (k == steps.size())
      break;
    // A hunk from three lines before this change to three after the last
    // change that follows within twice the context.
    size_t first = k > static_cast<size_t>(context) ? k - context : 0;
    size_t last = k;  // the last change of the hunk
    for (size_t s = k; s < steps.size(); ++s) {
      if (steps[s].kind != ' ') {
        last = s;
      } else if (s - last > 2 * static_cast<size_t>(context)) {
        break;
      }
    }
    size_t end = std::min(steps.size(), last + 1 + context);
    size_t old_count = 0, new_count = 0;
    for (size_t s = first; s < end; ++s) {
      old_count += steps[s].kind != '+';
      new_count += steps[s].kind != '-';
    }
    if (text.empty())
      text = "--- " + old_label + "\n+++ " + new_label + "\n";
    text += "@@ -" + range_text(steps[first].old_line, old_count) + " +" +
            range_text(steps[first].new_line, new_count) + " @@\n";
    for (size_t s = first; s < end; ++s)
      text += printed(steps[s].kind, steps[s].kind == '+'
                                         ? new_lines[steps[s].new_line]
                                         : old_lines[steps[s].old_line]);
    k = end;
  }
  return text;
}
