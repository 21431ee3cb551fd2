// The channel and talkgroup lists of images set up byte by byte, against
// rows written by hand.
#include "imgcsv/imgcsv.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string list_of(const ImageBody &image, bool talkgroups,
                    std::string *warnings = nullptr) {
  char *data = nullptr, *err_data = nullptr;
  size_t size = 0, err_size = 0;
  FILE *out = open_memstream(&data, &size);
  FILE *err = open_memstream(&err_data, &err_size);
  ListReport report = {err, "in.spg"};
  if (talkgroups)
    write_talkgroup_list(out, image, report);
  else
    write_channel_list(out, image, report);
  fclose(out);
  fclose(err);
  std::string text(data, size);
  if (warnings)
    warnings->assign(err_data, err_size);
  free(data);
  free(err_data);
  return text;
}

void put(ImageBody &image, int offset, std::initializer_list<int> bytes,
         const char *tag = nullptr) {
  for (int b : bytes)
    image.bytes[offset++] = static_cast<unsigned char>(b);
  if (tag)
    memcpy(image.bytes + offset, tag, 12);
}

/// An image whose channels all have flag U, so that none is listed.
ImageBody &empty_image() {
  static ImageBody image;
  memset(image.bytes, 0, body_size);
  for (int b = 0; b < 10; ++b)
    for (int k = 0; k < 50; ++k)
      put(image, 2443 * b + 18 * k, {0, 0, 1, 8, 0, 0}, "            ");
  return image;
}

const char header[] =
    "Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,"
    "DtcsPolarity,RxDtcsCode,CrossMode,Mode,TStep,Skip,Power,Comment,URCALL,"
    "RPT1CALL,RPT2CALL,DVCODE\r\n";

}  // namespace

TEST(ChannelList, OneRowForEachChannelWithAFrequency) {
  ImageBody &image = empty_image();
  EXPECT_EQ(list_of(image, false), header);

  put(image, 0, {0x11, 0x53, 0x21, 0, 0, 0}, "FIRE, MAIN  ");
  put(image, 2443 + 18 * 3, {0x50, 0x02, 0x32, 0x01, 0xE8, 0x03},
      "STATE\0\0\0\0\0\0\0");
  put(image, 2443 * 2, {0x0D, 0x28, 0x10, 0, 0, 0}, "TOWER       ");
  put(image, 2443 * 3 + 18, {0x49, 0x28, 0x34, 0x02, 0, 0}, "TAXI        ");
  put(image, 2443 * 9 + 18 * 49, {0x19, 0x6E, 0x23, 0x04, 0xEC, 0x01},
      "WX \"DCS\"    ");
  EXPECT_EQ(
      list_of(image, false),
      std::string(header) +
          "0,\"FIRE, MAIN\",154.415000,,0.000000,,88.5,88.5,023,NN,023,"
          "Tone->Tone,FM,5.00,,50W,,,,,\r\n"
          "53,STATE,460.025000,,0.000000,TSQL,100.0,100.0,023,NN,023,"
          "Tone->Tone,FM,12.50,S,50W,,,,,\r\n"
          "100,TOWER,121.500000,,0.000000,,88.5,88.5,023,NN,023,"
          "Tone->Tone,AM,12.50,,50W,,,,,\r\n"
          "151,TAXI,453.500000,,0.000000,,88.5,88.5,023,NN,023,"
          "Tone->Tone,FM,12.50,,50W,mode=LTR flags=A,,,,\r\n"
          "499,\"WX \"\"DCS\"\"\",162.550000,,0.000000,DTCS,88.5,88.5,754,"
          "NN,754,Tone->Tone,FM,5.00,,50W,flags=D,,,,\r\n");
}

TEST(TalkgroupList, OneRowForEachTalkgroupOfATrunkedBank) {
  ImageBody &image = empty_image();
  // Bank 0 is conventional: its codes are no talkgroups.
  put(image, 1043, {0x17, 0x25}, "NOT LISTED  ");
  // Bank 3, LTR: 0x2517 is area 1, home repeater 5, user 23; 0x8000 is a
  // skipped ID of nothing.
  image.bytes[2443 * 3 + 934] = 4;
  put(image, 2443 * 3 + 1043, {0x17, 0x25}, "DISPATCH    ");
  put(image, 2443 * 3 + 1043 + 14, {0x00, 0x80}, "SKIPPED     ");
  // Bank 4, Motorola: block 0 Type II, block 2 size code 4.
  image.bytes[2443 * 4 + 934] = 5;
  image.bytes[2443 * 4 + 935 + 2] = 4;
  put(image, 2443 * 4 + 1043, {0xB9, 0x00}, "PUBLIC WORKS");
  put(image, 2443 * 4 + 1043 + 14, {0xBF, 0x84}, "POLICE MAIN ");
  // Bank 5, EDACS: slot 3.
  image.bytes[2443 * 5 + 934] = 6;
  put(image, 2443 * 5 + 1043 + 28, {0x0F, 0x80}, "MAINTENANCE ");
  EXPECT_EQ(list_of(image, true),
            "Bank,Slot,Decimal,ID,Alpha Tag,Skip\r\n"
            "3,1,,105023,DISPATCH,\r\n"
            "4,1,2960,02960,PUBLIC WORKS,\r\n"
            "4,2,,200-05,POLICE MAIN,S\r\n"
            "5,3,15,15,MAINTENANCE,S\r\n");
}

TEST(ChannelList, WhatCsvCannotCarryIsLeftOutWithAWarning) {
  // Each channel, its row's Name and Tone to DtcsCode columns, and the
  // warning it gives.
  struct Case {
    std::vector<int> code;
    const char *tag;
    const char *columns;
    const char *warning;
  };
  const std::vector<Case> cases = {
      // Tag bytes above 0x7F are the characters U+0080 to U+00FF; control
      // bytes cannot be carried; a NUL reads as a blank.
      {{0x11, 0x53, 0x21, 0, 0, 0},
       "Caf\xE9\0NORD\0\0\0",
       "Caf\xC3\xA9 NORD,154.415000,,0.000000,,88.5,88.5,023",
       nullptr},
      {{0x11, 0x53, 0x21, 0, 0, 0},
       "TAB\tX       ",
       "TAB?X,154.415000,,0.000000,,88.5,88.5,023",
       "the tag holds control bytes, which a list cannot carry: written as "
       "\"TAB?X\""},
      // A PL channel whose tone byte names no range has no tone.
      {{0x11, 0x53, 0x22, 0, 0xE8, 0x01},
       "NO TONE     ",
       "NO TONE,154.415000,,0.000000,,88.5,88.5,023",
       "the PL channel holds no tone, written as a channel without one"},
      // 100.1 Hz (range 3, 233 tenths) is no tone CHIRP takes; 56.0 Hz
      // (range 2, 48 tenths) is.
      {{0x11, 0x53, 0x22, 0, 0xE9, 0x03},
       "ODD TONE    ",
       "ODD TONE,154.415000,,0.000000,,88.5,88.5,023",
       "PL tone 100.1 is not one CHIRP takes, written as a channel without a "
       "tone"},
      {{0x11, 0x53, 0x22, 0, 0x30, 0x02},
       "LOW TONE    ",
       "LOW TONE,154.415000,,0.000000,TSQL,56.0,56.0,023",
       nullptr},
      // D1000 is code value 512.
      {{0x11, 0x53, 0x23, 0, 0x00, 0x02},
       "WIDE DCS    ",
       "WIDE DCS,154.415000,,0.000000,,88.5,88.5,023",
       "DCS code D1000 is above D777, which CHIRP does not take, written as "
       "a channel without a tone"},
      {{0x11, 0x53, 0x23, 0, 0xFF, 0x01},
       "TOP DCS     ",
       "TOP DCS,154.415000,,0.000000,DTCS,88.5,88.5,777",
       nullptr},
      // Band 5 or mode 7 hold no frequency at all.
      {{0x11, 0x53, 0x51, 0, 0, 0},
       "CORRUPT     ",
       nullptr,
       "the channel code 11 53 51 00 00 00 holds no frequency, not written"},
      {{0x11, 0x53, 0x27, 0, 0, 0},
       "CORRUPT     ",
       nullptr,
       "the channel code 11 53 27 00 00 00 holds no frequency, not written"},
  };
  for (const Case &c : cases) {
    ImageBody &image = empty_image();
    for (size_t i = 0; i < 6; ++i)
      image.bytes[2443 * 2 + 18 * 7 + i] =
          static_cast<unsigned char>(c.code[i]);
    memcpy(image.bytes + 2443 * 2 + 18 * 7 + 6, c.tag, 12);
    std::string warnings;
    std::string list = list_of(image, false, &warnings);
    std::string row =
        c.columns ? std::string("107,") + c.columns : std::string();
    EXPECT_EQ(list.substr(sizeof header - 1, row.size()), row) << c.tag;
    if (!c.columns) {
      EXPECT_EQ(list, header);
    }
    EXPECT_EQ(warnings, c.warning ? std::string("Warning: ") + c.warning +
                                        " at bank 2 channel 7, file in.spg\n"
                                  : std::string());
  }
}
