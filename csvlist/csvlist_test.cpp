// CSV rows written and read back, the Comment words, and the lines the
// reader passes over.
#include "csvlist/csvlist.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/codes.h"

namespace {

std::string written(std::vector<const char *> fields) {
  char *data = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&data, &size);
  write_csv_row(out, fields.data(), static_cast<int>(fields.size()));
  fclose(out);
  std::string text(data, size);
  free(data);
  return text;
}

/// Every row of a CSV text, as fields joined by '|', after the line each
/// starts on and a colon.
std::vector<std::string> rows_of(const std::string &text) {
  FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
  CsvReader reader;
  EXPECT_TRUE(open_csv_reader(reader, in));
  std::vector<std::string> rows;
  CsvRow row;
  while (read_csv_row(reader, row)) {
    std::string joined = std::to_string(row.line) + ":";
    for (size_t i = 0; i < row.fields.size(); ++i)
      joined += (i ? "|" : "") + row.fields[i];
    rows.push_back(joined);
  }
  close_csv_reader(reader);
  fclose(in);
  return rows;
}

}  // namespace

TEST(CsvRows, QuotedWhereCsvNeedsIt) {
  EXPECT_EQ(written({"1", "CALL", ""}), "1,CALL,\r\n");
  EXPECT_EQ(written({"a,b", "say \"hi\"", "two\nlines", " blank "}),
            "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\", blank \r\n");
  EXPECT_EQ(written({"Location", "Name"}), "Location,Name\r\n");
}

TEST(CsvRows, ReadBackWithTheirLines) {
  std::vector<std::string> rows = rows_of(
      "\xEF\xBB\xBF"
      "Location,Name\r\n"
      "# a note\r\n"
      "0,\"CALL, 2\"\r\n"
      "\r\n"
      "1,\"two\n# not a note\"\n"
      "2, spaced \n"
      "3,last");
  EXPECT_EQ(rows, (std::vector<std::string>{"1:Location|Name", "3:0|CALL, 2",
                                            "5:1|two\n# not a note",
                                            "7:2| spaced ", "8:3|last"}));
}

TEST(CsvRows, ColumnsAreFoundByName) {
  CsvRow header;
  header.fields = {"Name", "Alpha Tag", "DEC", "Frequency"};
  EXPECT_EQ(find_column(header, {"Frequency"}), 3);
  EXPECT_EQ(find_column(header, {"Decimal", "DEC", "ID"}), 2);
  EXPECT_EQ(find_column(header, {"Alpha Tag", "AlphaTag", "Name"}), 1);
  EXPECT_EQ(find_column(header, {"Location"}), -1);
  CsvRow row;
  row.fields = {"X"};
  EXPECT_STREQ(field_of(row, 0), "X");
  EXPECT_STREQ(field_of(row, 3), "");
  EXPECT_STREQ(field_of(row, -1), "");
}

TEST(ChannelComments, CarryTrunkModesAndFlags) {
  char text[64];
  ChannelComment comment;
  format_channel_comment(comment, text, sizeof text);
  EXPECT_STREQ(text, "");
  comment.mode = mode_mot;
  format_channel_comment(comment, text, sizeof text);
  EXPECT_STREQ(text, "mode=MOT");
  comment.mode = mode_edacs;
  comment.flag_d = comment.flag_a = true;
  format_channel_comment(comment, text, sizeof text);
  EXPECT_STREQ(text, "mode=EDACS flags=DA");
  comment = ChannelComment();
  comment.mode = mode_pl;  // a column of its own says PL
  comment.flag_a = true;
  format_channel_comment(comment, text, sizeof text);
  EXPECT_STREQ(text, "flags=A");

  ChannelComment read =
      read_channel_comment("repeater on hill mode=LTR flags=D");
  EXPECT_EQ(read.mode, mode_ltr);
  EXPECT_TRUE(read.flag_d);
  EXPECT_FALSE(read.flag_a);
  read = read_channel_comment("mode=PL mode=FOO flags=");
  EXPECT_EQ(read.mode, -1);
  EXPECT_FALSE(read.flag_d || read.flag_a);
  read = read_channel_comment("remode=MOT");
  EXPECT_EQ(read.mode, -1);
}
