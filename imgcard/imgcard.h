// The card maker's command line: an image or listing in, its card out as
// one HTML page.
#pragma once

#include <stdio.h>

#include <string>

/// The card's date: SOURCE_DATE_EPOCH's day in UTC when it is set to a
/// number of seconds, today's local date otherwise; 2026-12-09.
std::string card_date();

/// "as uploaded TIME to PORT" when the journal's last complete upload sent
/// the image of this SHA-256; empty otherwise, after a warning on err when
/// a journal exists that cannot be read.
std::string upload_note(const std::string &sha256, FILE *err);

/// Runs the whole program: the card on out for "-" or no output name,
/// trouble on err; the exit status.
int run_imgcard(int argc, char **argv, FILE *out, FILE *err);
