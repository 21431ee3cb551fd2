// The card of an image: what each bank holds, the weather channels, the
// search bands, the opening message and the settings, as one HTML page
// that prints on A4 and US Letter, or on an A6 card.
#pragma once

#include <string>

#include "common/image.h"

/// What the header of every page says of the image.
struct CardHead {
  std::string name;      ///< the file name as given, any bytes
  std::string sha256;    ///< of the image file, in hexadecimal
  std::string uploaded;  ///< "as uploaded TIME to PORT", or empty
  std::string made;      ///< the date the card was made, 2026-12-09
};

/// How the card is laid out and what it shows.
struct CardLayout {
  bool pocket = false;  ///< two columns on an A6 card
  bool banks[bank_count] = {true, true, true, true, true,
                            true, true, true, true, true};
};

/// The rows a page holds, counted as card_rows counts them, before a bank
/// is put on a page of its own.
constexpr int page_rows = 56;

/// Appends text as HTML character data: & < > " and ' escaped.
void append_escaped(std::string &html, const std::string &text);

/// The UTF-8 text of an alpha tag or message line: blanks and NULs at its
/// end dropped, bytes 0x80 to 0xFF as U+0080 to U+00FF, other control
/// bytes as '?'.
std::string tag_text(const unsigned char *tag, int size);

/// The UTF-8 text of a file name, a byte that is not UTF-8 given as
/// U+FFFD.
std::string name_text(const std::string &name);

/// A text as a CSS string, quotes included, every character that could end
/// it or the style element escaped.
std::string css_string(const std::string &text);

/// Reads a bank list such as "0,3-5" into the banks shown; false when it
/// is not one.
bool read_bank_list(const char *text, bool *banks);

/// The whole card as an HTML document.
std::string render_card(const ImageBody &image, const CardHead &head,
                        const CardLayout &layout);
