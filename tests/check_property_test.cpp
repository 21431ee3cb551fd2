// The promise of txtimg -c, on one-line edits of the sample listing: when
// the check is silent, the listing of the stored image gives back every
// field the reader reads exactly as the edited line wrote it.
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listing/listing.h"
#include "tests/listing_io.h"

namespace {

/// What a line of the listing holds, as the reader takes it.
enum class Kind {
  other,
  channel,
  search,
  search_end,
  bank_tag,
  mode_offset,
  bank_type,
  fleet_map,
  lockout,
  talkgroup,
  band,
  message,
  setting,
};

struct LineKind {
  Kind kind = Kind::other;
  int setting = 0;  ///< settings line 1 to 16
};

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

bool starts(const std::string &line, const char *prefix) {
  return line.compare(0, strlen(prefix), prefix) == 0;
}

/// The kind of every line of a listing as imgtxt lays it out.
std::vector<LineKind> kinds_of(const std::vector<std::string> &lines) {
  std::vector<LineKind> kinds(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    auto set = [&](size_t at, Kind kind) {
      if (at < kinds.size())
        kinds[at].kind = kind;
    };
    if (starts(lines[i], "****** Bank")) {
      size_t at = i + 2;
      for (int c = 0; c < 50; ++c)
        set(at++, Kind::channel);
      set(++at, Kind::search);
      set(++at, Kind::search_end);
      at += 3;
      for (Kind kind : {Kind::bank_tag, Kind::mode_offset, Kind::bank_type,
                        Kind::fleet_map})
        set(at++, kind);
      for (at += 2; at < lines.size() && !starts(lines[at], " (end lock"); ++at)
        set(at, Kind::lockout);
      for (at += 3; at < lines.size() && !starts(lines[at], " (end talk"); ++at)
        set(at, Kind::talkgroup);
    } else if (starts(lines[i], "****** Weather")) {
      for (size_t at = i + 2; at < i + 12; ++at)
        set(at, Kind::channel);
    } else if (starts(lines[i], "****** Preprogrammed")) {
      for (size_t at = i + 2; at < lines.size() && lines[at].size() > 7; ++at)
        set(at, Kind::band);
    } else if (starts(lines[i], "****** Opening")) {
      for (size_t at = i + 2; at < i + 6; ++at)
        set(at, Kind::message);
    } else if (starts(lines[i], "****** Scanner")) {
      for (int k = 1; k <= 16 && i + 1 + k < lines.size(); ++k)
        kinds[i + 1 + k] = {Kind::setting, k};
    }
  }
  return kinds;
}

std::string real(double value) {
  char text[40];
  snprintf(text, sizeof text, "%.17g", value);
  return text;
}

/// The values a channel line's tone word gives in its mode.
std::string tone_value(const char *mode, const char *tone) {
  if (strncmp(mode, "PL   ", 5) == 0)
    return real(atof(tone));
  unsigned value = 0;
  if (strncmp(mode, "DPL  ", 5) == 0 && sscanf(tone, "D%o", &value) == 1)
    return std::to_string(value);
  return "";
}

/// The fields the reader takes from a line of a kind, as text to compare;
/// trunked tells how a talkgroup line reads.
std::vector<std::string> fields_of(const LineKind &kind,
                                   const std::string &line, bool trunked) {
  char tag[13] = {}, mode[6] = {}, text[64] = {}, tone[64] = {}, flags[64] = {};
  double a = 0, b = 0, c = 0;
  int n = 0, v[8] = {};
  unsigned x[3] = {};
  const char *at = line.c_str();
  auto from = [&](size_t column) {
    return line.size() > column ? at + column : "";
  };
  switch (kind.kind) {
    case Kind::channel:
    case Kind::search:
      if (kind.kind == Kind::channel)
        sscanf(at, channel_pattern_verbose, &n, tag, &a, mode, tone, flags);
      else
        sscanf(at, search_pattern_verbose, tag, &a, mode, tone, flags);
      return {std::string(tag, 12), real(a), mode, tone_value(mode, tone),
              flags};
    case Kind::search_end:
      sscanf(at, search_end_pattern_verbose, &a, &b);
      return {real(a), real(b)};
    case Kind::bank_tag:
      sscanf(from(bank_tag_column_verbose), tag_pattern, tag);
      return {std::string(tag, 12)};
    case Kind::mode_offset:
      sscanf(from(bank_field_column_verbose), mode_offset_pattern, text);
      return {text};
    case Kind::bank_type:
      sscanf(from(bank_field_column_verbose), bank_type_pattern, mode);
      return {mode};
    case Kind::fleet_map:
      sscanf(from(fleet_map_column), fleet_map_pattern, &v[0], &v[1], &v[2],
             &v[3], &v[4], &v[5], &v[6], &v[7]);
      return {std::to_string(v[0]), std::to_string(v[1]), std::to_string(v[2]),
              std::to_string(v[3]), std::to_string(v[4]), std::to_string(v[5]),
              std::to_string(v[6]), std::to_string(v[7])};
    case Kind::lockout:
      sscanf(at, "%d %*x %*x %lf", &n, &a);
      return {std::to_string(n), real(a)};
    case Kind::talkgroup:
      sscanf(at, talkgroup_pattern, &n, &x[0], text, tag);
      return {trunked ? std::string(text, 11) : std::to_string(x[0]),
              std::string(tag, 12)};
    case Kind::band:
      sscanf(at, band_pattern_verbose, &n, tag, &a, mode, &b, &c);
      return {std::string(tag, 12), real(a), mode, real(b), real(c)};
    case Kind::message:
      sscanf(at, message_pattern, tag);
      return {std::string(tag, 12)};
    case Kind::setting: {
      const char *value = from(settings_value_column);
      switch (kind.setting) {
        case 1:
        case 5:
        case 10:
        case 11:
        case 12:
          sscanf(value, "%x", &x[0]);
          return {std::to_string(x[0])};
        case 2:
        case 3:
        case 4:
        case 7:
          sscanf(value, "%d", &n);
          return {std::to_string(n)};
        case 6:
        case 14:
          sscanf(value, "%lf", &a);
          return {real(a)};
        case 8:
          sscanf(value, "%d %d", &v[0], &v[1]);
          return {std::to_string(v[0]), std::to_string(v[1])};
        case 9:
          sscanf(value, "%x %x %x", &x[0], &x[1], &x[2]);
          return {std::to_string(x[0]), std::to_string(x[1]),
                  std::to_string(x[2])};
        case 15:
        case 16:
          sscanf(value, "%63s", text);
          return {text};
      }
      return {};
    }
    case Kind::other:
      break;
  }
  return {};
}

/// One edit such as a user or an editor makes to a line.
std::string edit_line(std::string line, std::mt19937 &random) {
  auto pick = [&](size_t high) {
    return std::uniform_int_distribution<size_t>(0, high)(random);
  };
  static const char characters[] = "0123456789 -.<>[]ADLPSUadlpsuXx?FMOTCn";
  size_t body = line.size();
  while (body > 0 && (line[body - 1] == '\n' || line[body - 1] == '\r'))
    --body;
  if (body == 0)
    return line;
  char c = characters[pick(sizeof characters - 2)];
  size_t at = pick(body - 1);
  switch (pick(5)) {
    case 0:
    case 1:
      line[at] = c;
      break;
    case 2:
      line.erase(at, 1);
      break;
    case 3:
      line.insert(at, 1, c);
      break;
    case 4: {
      // An editor that strips the blanks before a closing '<'.
      size_t close = line.rfind('<', body);
      size_t keep = line.find_last_not_of(' ', close - 1);
      if (close != std::string::npos && close > 0 && keep != std::string::npos)
        line.erase(keep + 1, close - keep - 1);
      break;
    }
    default:
      line[at] =
          static_cast<char>(tolower(static_cast<unsigned char>(line[at])));
      break;
  }
  return line;
}

/// Whether the bank a line belongs to is trunked, from its bank type line.
bool in_trunked_bank(const std::vector<std::string> &lines,
                     const std::vector<LineKind> &kinds, size_t index) {
  for (size_t i = index; i-- > 0;)
    if (kinds[i].kind == Kind::bank_type) {
      std::string type = lines[i].substr(28, 5);
      return type == "LTR  " || type == "MOT  " || type == "EDACS";
    }
  return false;
}

}  // namespace

TEST(CheckProperty, ASilentCheckMeansTheListingGivesBackWhatWasWritten) {
  FILE *in = fopen(EXAMPLES_DIR "/sample.asc", "rb");
  ASSERT_NE(in, nullptr);
  std::string sample;
  char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, in)) > 0)
    sample.append(buffer, got);
  fclose(in);
  std::vector<std::string> lines = lines_of(sample);
  std::vector<LineKind> kinds = kinds_of(lines);
  std::mt19937 random(20261209);
  int silent = 0, compared = 0;
  for (int trial = 0; trial < 600; ++trial) {
    size_t index =
        std::uniform_int_distribution<size_t>(1, lines.size() - 1)(random);
    std::vector<std::string> edited = lines;
    edited[index] = edit_line(lines[index], random);
    std::string text;
    for (const std::string &line : edited)
      text += line;
    static ImageBody image;
    ListingCounts counts;
    std::string diagnostics;
    if (!read_listing_text(text, image, &diagnostics, &counts) ||
        counts.warnings > 0 || counts.errors > 0)
      continue;
    ++silent;
    std::vector<std::string> back = lines_of(listing_of(image));
    ASSERT_EQ(back.size(), lines.size()) << edited[index];
    const LineKind &kind = kinds[index];
    if (kind.kind == Kind::other)
      continue;
    bool trunked = in_trunked_bank(edited, kinds, index);
    std::vector<std::string> written = fields_of(kind, edited[index], trunked);
    size_t match = index;
    if (kind.kind == Kind::lockout) {
      // Lockouts are listed by slot: find the edited line's slot.
      for (size_t i = index; i > 0 && kinds[i].kind == Kind::lockout; --i)
        match = fields_of(kind, back[i], trunked)[0] == written[0] ? i : match;
      for (size_t i = index; i < back.size() && kinds[i].kind == Kind::lockout;
           ++i)
        match = fields_of(kind, back[i], trunked)[0] == written[0] ? i : match;
    }
    ++compared;
    EXPECT_EQ(fields_of(kind, back[match], trunked), written)
        << "edited line " << index + 1 << ": " << edited[index]
        << "listed back: " << back[match];
  }
  // The edits must reach silent checks often enough to mean something.
  EXPECT_GT(silent, 100);
  EXPECT_GT(compared, 80);
}
