#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/codes.h"
#include "common/image.h"
#include "imgcard/card.h"
#include "imgcard/imgcard.h"
#include "journal/journal.h"
#include "tests/generated_image.h"
#include "tests/listing_io.h"
#include "tests/process.h"

namespace {

/// The text of a node, its descendants' text joined.
std::string text_of(xmlNode *node) {
  xmlChar *content = xmlNodeGetContent(node);
  std::string text = content ? reinterpret_cast<char *>(content) : "";
  xmlFree(content);
  return text;
}

bool named(xmlNode *node, const char *name) {
  return node->type == XML_ELEMENT_NODE &&
         strcmp(reinterpret_cast<const char *>(node->name), name) == 0;
}

/// What a reader of the card sees, in order: "h1: ...", "h2: ...", "p: ...",
/// "pre: ...", "caption: ..." and a table's rows with their cells joined by
/// "|", heads first.
void read_nodes(xmlNode *node, std::vector<std::string> &lines) {
  for (; node; node = node->next) {
    if (named(node, "style") || named(node, "title"))
      continue;
    for (const char *block : {"h1", "h2", "h3", "p", "pre", "caption"})
      if (named(node, block))
        lines.push_back(std::string(block) + ": " + text_of(node));
    if (named(node, "tr")) {
      std::string row;
      for (xmlNode *c = node->children; c; c = c->next)
        if (named(c, "td") || named(c, "th"))
          row += (row.empty() ? "" : "|") + text_of(c);
      lines.push_back(row);
      continue;
    }
    bool leaf = named(node, "h1") || named(node, "h2") || named(node, "h3") ||
                named(node, "p") || named(node, "pre") ||
                named(node, "caption");
    if (!leaf)
      read_nodes(node->children, lines);
  }
}

/// Parses a card with libxml2's HTML parser into what a reader sees.
std::vector<std::string> card_lines(const std::string &html) {
  htmlDocPtr document = htmlReadMemory(
      html.data(), static_cast<int>(html.size()), "card.html", "UTF-8",
      HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  std::vector<std::string> lines;
  if (!document)
    return lines;
  read_nodes(xmlDocGetRootElement(document), lines);
  xmlFreeDoc(document);
  return lines;
}

/// The lines from the first that starts with from, up to the next heading
/// of a bank or part.
std::vector<std::string> part(const std::vector<std::string> &lines,
                              const std::string &from) {
  std::vector<std::string> found;
  for (const std::string &line : lines) {
    if (!found.empty() && line.rfind("h2: ", 0) == 0)
      break;
    if (!found.empty() || line.rfind(from, 0) == 0)
      found.push_back(line);
  }
  return found;
}

ImageBody &sample_image() {
  static ImageBody image;
  std::string file = read_file(EXAMPLES_DIR "/sample.spg");
  memcpy(image.bytes, file.data() + header_size, body_size);
  return image;
}

CardHead plain_head() {
  return {"sample.spg", std::string(64, 'a'), "", "2026-12-09"};
}

}  // namespace

TEST(Card, ShowsWhatTheSampleHolds) {
  std::vector<std::string> lines =
      card_lines(render_card(sample_image(), plain_head(), CardLayout{}));
  // Worked from the sample's listing: programmed rows only, empty Tone and
  // Flags columns left out.
  struct Case {
    const char *from;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"h2: Bank 0",
       {"h2: Bank 0 POLICE",
        "p: Conv \u00b7 Closed, 00.0 kHz offset",
        "caption: Channels",
        "Ch|Tag|MHz|Mode|Tone|Flags",
        "0|COUNTY FIRE|154.4300|PL|123.0|",
        "1|STATE MUTUAL|155.4750|FM||",
        "2|CITY PD DISP|155.5650|PL|156.7|",
        "3|CITY PD TAC|155.8050|PL|156.7|attenuate",
        "4|SHERIFF 1|154.6800|DPL|D023|",
        "5|SHERIFF 2|154.7250|DPL|D754|delay",
        "6|STATE PATROL|460.0250|PL|100.0|",
        "7|JAIL OPS|460.4000|FM||lockout",
        "caption: Search range",
        "Tag|Start MHz|End MHz|Step MHz|Mode",
        "POLICE LOW|154.0000|158.0000|0.0050|FM",
        "caption: Search lockouts",
        "No.|MHz",
        "1|155.5050",
        "2|156.2100",
        "3|154.2800"}},
      {"h2: Bank 3",
       {"h2: Bank 3 TAXI",
        "p: LTR \u00b7 Open, 00.0 kHz offset",
        "caption: Channels",
        "Ch|Tag|MHz|Mode",
        "0|TAXI RPT 1|453.5000|LTR",
        "1|TAXI RPT 2|453.6000|LTR",
        "2|TAXI RPT 3|453.7000|LTR",
        "3|TAXI RPT 4|453.8000|LTR",
        "4|TAXI RPT 5|453.9000|LTR",
        "caption: Search range",
        "Tag|Start MHz|End MHz|Step MHz|Mode",
        "SEARCH 1|453.0000|454.0000|0.0125|FM",
        "caption: Search lockouts",
        "No.|MHz",
        "1|453.5000",
        "caption: Talkgroups",
        "Slot|ID|Tag|Scan",
        "1|105023|DISPATCH|scan",
        "2|105024|CABS NORTH|scan",
        "3|105025|CABS SOUTH|skip",
        "4|002101|TOW TRUCKS|scan",
        "5|002102|DELIVERY|scan"}},
      {"h2: Bank 7",
       {"h2: Bank 7 HAM RADIO", "p: Conv \u00b7 Open, 50 kHz offset",
        "caption: Channels", "Ch|Tag|MHz|Mode|Tone",
        "0|2M SIMPLEX|146.5200|FM|", "1|W1ABC RPT|146.9400|PL|100.0",
        "2|K2XYZ RPT|147.3300|PL|146.2", "3|UHF RPT|442.1000|PL|88.5",
        "4|6M CALL|50.1250|FM|", "5|10M FM|29.6000|FM|",
        "caption: Search range", "Tag|Start MHz|End MHz|Step MHz|Mode",
        "2 METERS|144.0000|148.0000|0.0050|FM", "caption: Search lockouts",
        "No.|MHz", "1|146.5200", "2|147.0000"}},
      // No search range; the fleet map of a Motorola bank.
      {"h2: Bank 9",
       {"h2: Bank 9 COUNTY MOT",
        "p: MOT \u00b7 Closed, 00.0 kHz offset",
        "caption: Channels",
        "Ch|Tag|MHz|Mode",
        "0|COUNTY CTL 1|851.0125|MOT",
        "1|COUNTY CTL 2|851.2625|MOT",
        "2|COUNTY CTL 3|851.5125|MOT",
        "caption: Fleet map (size codes; S00 is a Type II block)",
        "Block 0|1|2|3|4|5|6|7",
        "S02|S03|S05|S06|S07|S08|S09|S10",
        "caption: Talkgroups",
        "Slot|ID|Tag|Scan",
        "1|005-03|PW DISPATCH|scan",
        "2|107-06|PW STREETS|scan",
        "3|263-02|PW PARKS|skip",
        "4|304-00|UTIL WATER|scan",
        "5|331-07|UTIL POWER|scan",
        "6|410-01|TRANSIT OPS|scan",
        "7|502-03|SCHOOL BUS|scan",
        "8|603-02|AIRPORT OPS|scan",
        "9|701-05|AIRPORT FIRE|skip"}},
      {"h2: Weather",
       {"h2: Weather, search bands and settings",
        "caption: Weather channels",
        "Ch|Tag|MHz|Mode",
        "0|WX1|162.5500|FM",
        "1|WX2|162.4000|FM",
        "2|WX3|162.4750|FM",
        "3|WX4|162.4250|FM",
        "4|WX5|162.4500|FM",
        "5|WX6|162.5000|FM",
        "6|WX7|162.5250|FM",
        "7|WX8|161.6500|FM",
        "8|WX9|161.7750|FM",
        "9|WX10|163.2750|FM",
        "caption: Preprogrammed search bands",
        "No.|Tag|Start MHz|End MHz|Step MHz|Mode",
        "0|2 METER HAM|144.0000|148.0000|0.0050|FM",
        "1|AIRCRAFT|118.0000|136.9750|0.0250|AM",
        "2|VHF HIGH|150.8000|162.0000|0.0050|FM",
        "3|UHF|450.0000|470.0000|0.0125|FM",
        "4|800 MHZ|851.0125|869.9875|0.0125|FM",
        "5|10M 6M|29.0000|54.0000|0.0050|FM",
        "h3: Opening message",
        "pre: WELCOME TO\nCITY SCANNER\nPROGRAMMED\nDEC 2026\n",
        "caption: Settings",
        "Setting|Value",
        "Backlight on time|10 s",
        "Scan delay|2000 ms",
        "Trunk rescan delay|2000 ms",
        "Minimum scan delay|2.0 s",
        "Display contrast|11",
        "Priority channel|0 05",
        "Priority|on",
        "Keypad tone|1000 Hz",
        "Banks scanned|0 1 2 3 4 5 6 7 8 9",
        "Banks searched|0 1 3 8",
        "Search bands in use|6"}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(part(lines, c.from), c.expected) << c.from;
  // The talkgroup forms of a Type II and Type I bank and of EDACS.
  for (const char *row :
       {"1|02960|PUBLIC WORKS|scan", "4|200-05|POLICE MAIN|scan",
        "8|6100-3|ANIMAL CTRL|skip", "3|15|MAINTENANCE|skip"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), row), lines.end()) << row;
  EXPECT_EQ(lines[0], "h1: sample.spg");
  EXPECT_EQ(lines[1], "p: SHA-256 aaaaaaaaaaaa \u00b7 made 2026-12-09");
}

TEST(Card, TagsAndNamesAreText) {
  ImageBody &image = sample_image();
  static ImageBody hostile;
  hostile = image;
  const unsigned char tag[tag_size] = {'<', 'B',  '>',  '&', 'A', 'L',
                                       'L', 0xE9, 0x01, '"', 0,   0};
  memcpy(hostile.bytes + channel_offset(0, 0) + code_size, tag, tag_size);
  memcpy(hostile.bytes + talkgroup_offset(4, 1) + 2, "</style>'<i>", tag_size);
  CardHead head = plain_head();
  head.name = "x</style><b>\"\\\xff.spg";
  head.uploaded = "as uploaded 2026-12-09T14:02:11Z to /dev/<pts>";
  std::string html = render_card(hostile, head, CardLayout{});
  std::vector<std::string> lines = card_lines(html);
  EXPECT_EQ(part(lines, "h2: Bank 0")[4],
            "0|<B>&ALL\u00e9?\"|154.4300|PL|123.0|");
  std::vector<std::string> bank4 = part(lines, "h2: Bank 4");
  EXPECT_NE(std::find(bank4.begin(), bank4.end(), "1|02960|</style>'<i>|scan"),
            bank4.end());
  EXPECT_EQ(lines[0], "h1: x</style><b>\"\\\uFFFD.spg");
  EXPECT_EQ(
      lines[1],
      "p: SHA-256 aaaaaaaaaaaa \u00b7 as uploaded 2026-12-09T14:02:11Z to "
      "/dev/<pts> \u00b7 made 2026-12-09");
  // No markup came from the image or the name: one style element, closed
  // once; no <b> or <i> element.
  EXPECT_EQ(html.find("</style>"), html.rfind("</style>"));
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_EQ(html.find("<i>"), std::string::npos);
  EXPECT_NE(html.find("content: \"x\\3C /style\\3E \\3C b\\3E \\22 \\5C "
                      "\uFFFD.spg \u00b7 SHA-256 aaaaaaaaaaaa"),
            std::string::npos);
}

TEST(Card, LeavesOutWhatIsEmptyAndChosesBanks) {
  static ImageBody image;
  image = sample_image();
  // Bank 8 emptied: channels, search and lockouts.
  for (int k = 0; k < channel_count; ++k)
    image.bytes[channel_offset(8, k) + 3] |= 8;
  image.bytes[bank_base(8) + bank_search_offset + 3] |= 8;
  CardLayout layout;
  ASSERT_TRUE(read_bank_list("1,7-8", layout.banks));
  std::vector<std::string> lines =
      card_lines(render_card(image, plain_head(), layout));
  std::vector<std::string> heads;
  for (const std::string &line : lines)
    if (line.rfind("h2: ", 0) == 0 || line.rfind("p: Bank", 0) == 0)
      heads.push_back(line);
  EXPECT_EQ(heads, (std::vector<std::string>{
                       "h2: Bank 1 FIRE EMS", "h2: Bank 7 HAM RADIO",
                       "p: Bank 8 (RAILROAD): nothing programmed.",
                       "h2: Weather, search bands and settings"}));
  struct ListCase {
    const char *text;
    bool valid;
    const char *chosen;
  };
  const ListCase lists[] = {{"0,3-5", true, "1001110000"},
                            {"9", true, "0000000001"},
                            {"0-9", true, "1111111111"},
                            {"5-3", false, ""},
                            {"10", false, ""},
                            {"1,", false, ""},
                            {"", false, ""},
                            {"1-", false, ""},
                            {"a", false, ""}};
  for (const ListCase &c : lists) {
    bool banks[bank_count] = {};
    ASSERT_EQ(read_bank_list(c.text, banks), c.valid) << c.text;
    std::string chosen;
    for (bool b : banks)
      chosen += b ? '1' : '0';
    if (c.valid) {
      EXPECT_EQ(chosen, c.chosen) << c.text;
    }
  }
}

/// An alpha tag as a card should show it: blanks and NULs at the end
/// dropped, bytes from 0x80 as Latin-1 letters, control bytes as '?'.
std::string tag_as_shown(const unsigned char *tag) {
  int end = tag_size;
  while (end > 0 && (tag[end - 1] == ' ' || tag[end - 1] == 0))
    --end;
  std::string text;
  for (int i = 0; i < end; ++i) {
    if (tag[i] >= 0xC0)
      text += "\xC3" + std::string(1, static_cast<char>(tag[i] - 0x40));
    else if (tag[i] >= 0x80)
      text += "\xC2" + std::string(1, static_cast<char>(tag[i]));
    else
      text += tag[i] < 0x20 || tag[i] == 0x7F ? '?' : static_cast<char>(tag[i]);
  }
  return text;
}

TEST(Card, AgreesWithTheListingOfGeneratedImages) {
  // The channel and weather lines of the listing that hold a frequency are
  // the rows of the card's channel tables, in order, with the same number,
  // tag, frequency and mode.
  for (unsigned seed = 1; seed <= 20; ++seed) {
    static ImageBody image;
    generate_image(seed, image);
    std::vector<std::string> expected, shown;
    std::string listing = listing_of(image);
    int record = 0;
    for (size_t at = 0, end;
         (end = listing.find("\r\n", at)) != std::string::npos; at = end + 2) {
      std::string line = listing.substr(at, end - at);
      if (line.size() < 69 || line.compare(0, 4, "Srch") == 0 ||
          line[24] != '>' || line[37] != '<' || record == 510)
        continue;  // the band rows after the weather channels are alike
      int offset = record < 500 ? channel_offset(record / 50, record % 50)
                                : weather_channel_offset(record - 500);
      ++record;
      if (line[line.size() - 4] == 'U')
        continue;
      auto field = [&line](size_t from, size_t size) {
        std::string text = line.substr(from, size);
        size_t first = text.find_first_not_of(' ');
        return text.substr(first, text.find_last_not_of(' ') + 1 - first);
      };
      expected.push_back(field(0, 3) + "|" +
                         tag_as_shown(image.bytes + offset + code_size) + "|" +
                         field(38, 10) + "|" + field(50, 5));
    }
    ASSERT_EQ(record, 510) << seed;
    std::string caption;
    for (const std::string &line :
         card_lines(render_card(image, plain_head(), CardLayout{}))) {
      if (line.rfind("caption: ", 0) == 0 || line.rfind("h", 0) == 0)
        caption = line;
      else if ((caption == "caption: Channels" ||
                caption == "caption: Weather channels") &&
               line.rfind("Ch|", 0) != 0)
        shown.push_back(line);
    }
    ASSERT_EQ(shown.size(), expected.size()) << seed;
    for (size_t i = 0; i < shown.size(); ++i)
      EXPECT_EQ(shown[i].substr(0, expected[i].size() + 1), expected[i] + "|")
          << seed;
  }
}

TEST(CardRun, OperandsOptionsAndOutputs) {
  TempDir dir;
  std::string sample = EXAMPLES_DIR "/sample.spg";
  std::string listing = EXAMPLES_DIR "/sample.asc";
  std::string card = dir.file("card.html");
  std::vector<std::string> env = {"XDG_STATE_HOME=" + dir.file("state"),
                                  "HOME=" + dir.path,
                                  "SOURCE_DATE_EPOCH=1796824931"};
  std::string usage =
      "imgcard [-h] [-p] [-b banks] image|listing [output.html]\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // its start
  };
  const Case cases[] = {
      {{sample, card}, 0, ""},
      {{"-b", "12", sample},
       1,
       "imgcard: banks \"12\" are not banks 0 to 9 such as 0,3-5\n" + usage},
      {{"-x", sample}, 1, ""},
      {{}, 1, usage},
      {{sample, card, "more"}, 1, usage},
      {{sample, dir.file("card.spg")},
       1,
       "Card \"" + dir.file("card.spg") +
           "\" ends in .spg: a card is an HTML "
           "page\n"},
      {{card, card}, 1, "Card \"" + card + "\" is the input " + card + "\n"},
      {{dir.file("none.asc")},
       1,
       "Cannot open " + dir.file("none.asc") + ": No such file or directory\n"},
      {{sample, dir.file("no/card.html")},
       1,
       "Cannot open " + dir.file("no/card.html") + "\n"},
      {{dir.path}, 1, "Cannot read " + dir.path + ": Is a directory\n"},
      {{dir.file("huge.asc")},
       1,
       dir.file("huge.asc") + " is too large to be an image or a listing\n"},
      {{dir.file("short.spg")},
       1,
       "Cannot read body of " + dir.file("short.spg") + "\n"},
      {{dir.file("text.spg")},
       1,
       dir.file("text.spg") +
           " is not an image file: it does not start with 02 00 00 00 00\n"},
      {{dir.file("empty.asc")}, 1, ""},
  };
  write_file(dir.file("huge.asc"), std::string(9 << 20, ' '));
  write_file(dir.file("short.spg"), read_file(sample).substr(0, 20000));
  write_file(dir.file("text.spg"), "IMGTXT Version 1.03\n");
  write_file(dir.file("empty.asc"), "");
  for (const Case &c : cases) {
    std::vector<std::string> argv = {program_path("imgcard")};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ProcessResult r = run_process(argv, "", env);
    EXPECT_EQ(r.status, c.status) << argv[1];
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << argv[1];
  }
  // The card written whole, as - writes it on standard output; a listing
  // gives the card of the image it stands for, standard input too.
  std::string written = read_file(card);
  ProcessResult out =
      run_process({program_path("imgcard"), sample, "-"}, "", env);
  EXPECT_EQ(out.out, written);
  EXPECT_NE(written.find("made 2026-12-09"), std::string::npos);
  std::vector<std::string> of_image = card_lines(written);
  ProcessResult piped = run_process(
      {"/bin/sh", "-c", "\"$0\" - < \"$1\"", program_path("imgcard"), listing},
      "", env);
  ASSERT_EQ(piped.status, 0) << piped.err;
  std::vector<std::string> of_listing = card_lines(piped.out);
  EXPECT_EQ(of_listing[0], "h1: standard input");
  EXPECT_EQ(std::vector<std::string>(of_listing.begin() + 2, of_listing.end()),
            std::vector<std::string>(of_image.begin() + 2, of_image.end()));
  // An image on standard input; a date that is no number is today's.
  ProcessResult image_in =
      run_process({"/bin/sh", "-c", "SOURCE_DATE_EPOCH=x \"$0\" - < \"$1\"",
                   program_path("imgcard"), sample},
                  "", env);
  EXPECT_EQ(card_lines(image_in.out)[1],
            "p: SHA-256 " + sha256_hex(read_file(sample)).substr(0, 12) +
                " \u00b7 made " + card_date());
  ProcessResult pocket =
      run_process({program_path("imgcard"), "-p", "-b", "4", listing}, "", env);
  EXPECT_NE(pocket.out.find("size: A6"), std::string::npos);
  EXPECT_NE(pocket.out.find("columns: 2"), std::string::npos);
  EXPECT_EQ(part(card_lines(pocket.out), "h2: Bank")[0],
            "h2: Bank 4 CITY TRUNK");
}

TEST(CardRun, SaysWhenTheImageWasTheLastOneSent) {
  TempDir dir;
  std::string folder = dir.file("state/scanner-memory-tools");
  std::vector<std::string> env = {"XDG_STATE_HOME=" + dir.file("state"),
                                  "HOME=" + dir.path};
  std::string sample = EXAMPLES_DIR "/sample.spg";
  std::string sha = sha256_hex(read_file(sample));
  std::string reason;
  ASSERT_TRUE(prepare_record(folder, sha, &reason)) << reason;
  auto send = [&folder](const std::string &image_sha, UploadOutcome outcome,
                        const char *began) {
    UploadRecord record;
    record.began = began;
    record.outcome = outcome;
    record.bytes_sent = record.frame_size = 32830;
    record.port = "/dev/pts/7";
    record.sha256 = image_sha;
    record.image = "/tmp/x.spg";
    std::string why;
    ASSERT_TRUE(
        append_journal_line(folder, format_journal_line(record), false, &why));
  };
  struct Case {
    std::string sent_sha;
    UploadOutcome outcome;
    std::string note;  // empty when the card names no upload
  };
  const Case cases[] = {
      {sha, UploadOutcome::done,
       "as uploaded 2026-12-09T14:02:11Z to /dev/pts/7"},
      // A failed upload after it does not hide it; a later image sent does.
      {sha256_hex("other"), UploadOutcome::failed,
       "as uploaded 2026-12-09T14:02:11Z to /dev/pts/7"},
      {sha256_hex("other"), UploadOutcome::done, ""},
  };
  for (const Case &c : cases) {
    send(c.sent_sha, c.outcome, "2026-12-09T14:02:11Z");
    ProcessResult r = run_process({program_path("imgcard"), sample}, "", env);
    std::vector<std::string> lines = card_lines(r.out);
    std::string head = "p: SHA-256 " + sha.substr(0, 12) + " \u00b7 ";
    if (!c.note.empty())
      head += c.note + " \u00b7 ";
    EXPECT_EQ(lines[1].substr(0, head.size()), head);
    EXPECT_EQ(r.err, "");
  }
  // A journal that cannot be read is said so, and the card still made.
  std::string journal = journal_path(folder);
  ASSERT_EQ(unlink(journal.c_str()), 0);
  ASSERT_EQ(mkdir(journal.c_str(), 0700), 0);
  ProcessResult r = run_process({program_path("imgcard"), sample}, "", env);
  EXPECT_EQ(r.err.substr(0, 44),
            "Warning: the upload journal cannot be read: ");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("</html>"), std::string::npos);
}

TEST(Card, ShowsOddImagesAsTheListingWould) {
  static ImageBody image;
  image = sample_image();
  unsigned char *b0 = image.bytes + bank_base(0);
  memset(b0 + bank_tag_offset, ' ', tag_size);       // no tag
  b0[bank_type_offset] = 1;                          // a type without a name
  image.bytes[bank_base(1) + bank_type_offset] = 9;  // beyond the table
  image.bytes[poo_offset] = 7;                       // neither on nor off
  memset(image.bytes + scan_banks_offset, 0xA5, bank_word_size);
  // A channel tag with a NUL inside and NULs at its end.
  memcpy(image.bytes + channel_offset(2, 0) + code_size, "GU\0RD\0\0\0\0\0\0\0",
         tag_size);
  // A talkgroup of a conventional bank with a tag but no ID.
  memcpy(image.bytes + talkgroup_offset(6, 3), "\0\0SPARE       ", 14);
  // 101 bands counted: the 100 rows there are, the empty ones left out.
  image.bytes[band_count_offset] = 101;
  // The message: its last lines blank.
  memset(image.bytes + message_line_offset(2), ' ', 3 * message_line_size);
  std::vector<std::string> lines =
      card_lines(render_card(image, plain_head(), CardLayout{}));
  auto has = [&lines](const std::string &line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  for (const char *line :
       {"h2: Bank 0", "p: type 01 \u00b7 Closed, 00.0 kHz offset",
        "p: type 09 \u00b7 Closed, 00.0 kHz offset", "0|GU?RD|121.5000|AM|",
        "3|0000|SPARE|", "pre: WELCOME TO\n", "Priority|07",
        "Banks scanned|none", "5|10M 6M|29.0000|54.0000|0.0050|FM"})
    EXPECT_TRUE(has(line)) << line;
  EXPECT_FALSE(has("6|10M 6M|29.0000|54.0000|0.0050|FM"));
  // An empty bank without a tag is one line.
  for (int k = 0; k < channel_count; ++k)
    image.bytes[channel_offset(8, k) + 3] |= flag_u;
  image.bytes[bank_base(8) + bank_search_offset + 3] |= flag_u;
  memset(image.bytes + bank_base(8) + bank_tag_offset, ' ', tag_size);
  image.bytes[poo_offset] = 0;
  lines = card_lines(render_card(image, plain_head(), CardLayout{}));
  EXPECT_TRUE(has("p: Bank 8: nothing programmed."));
  EXPECT_TRUE(has("Priority|off"));
  // A message all blank is left out.
  memset(image.bytes + message_line_offset(1), ' ', message_line_size);
  lines = card_lines(render_card(image, plain_head(), CardLayout{}));
  EXPECT_FALSE(has("h3: Opening message"));

  struct Text {
    std::string name;
    std::string shown;
  };
  const Text names[] = {
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xbb.spg",
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xbb.spg"},
      {"\xc0\xaf \xe0\x80\xaf \xed\xa0\x80 \xf0\x80\x80\x80 \xf4\x90\x80\x80",
       "\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD "
       "\uFFFD\uFFFD\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD\uFFFD"},
      {"cut \xe2\x82", "cut \uFFFD\uFFFD"},
      {"tab\there\x7f", "tab?here?"},
  };
  for (const Text &t : names)
    EXPECT_EQ(name_text(t.name), t.shown) << t.name;
  EXPECT_EQ(css_string("a\nb\"\\"), "\"a\\A b\\22 \\5C \"");
}
