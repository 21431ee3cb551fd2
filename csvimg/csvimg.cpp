// The CSV-to-image program: its command line and names, the base image,
// the summary of what was stored, and the image written.
#include "csvimg/csvimg.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "common/codes.h"
#include "common/files.h"
#include "common/version.h"
#include "csvimg/list.h"

namespace {

void print_usage(FILE *err) {
  fprintf(err,
          "csvimg [-h] [-c] [-k] [-a] [-d] [-m text]... [-b bank[-last] | "
          "-t bank] inputfile.csv baseimage.spg [outputfile.spg]\n");
  fprintf(err, "  -h prints this help message\n");
  fprintf(err,
          "  -c checks the list against the base image and writes no "
          "image\n");
  fprintf(err,
          "  -k keeps the base image's entries after the list in the bank\n");
  fprintf(err,
          "  -a stores talkgroups of every mode, digital and encrypted "
          "too\n");
  fprintf(err,
          "  -m text stores only the rows whose tag, description or "
          "category holds text\n");
  fprintf(err,
          "  -b bank fills the channels of the bank in file order, not by "
          "Location\n");
  fprintf(err, "          (-b 2-5 fills banks 2 to 5, each from channel 0)\n");
  fprintf(err, "  -d takes channel tags from the Description column\n");
  fprintf(err, "  -t bank stores a talkgroup list in the trunked bank\n");
  fprintf(err, "  inputfile.csv is the CSV list to store\n");
  fprintf(err, "  baseimage.spg is the image whose other contents are kept\n");
  fprintf(err,
          "  outputfile.spg is the binary output file (name must end with "
          ".spg), not given with -c\n");
  fprintf(err,
          "  - as a file name is standard input (for one of the two inputs) "
          "or output\n");
  print_standard_options(err, "\n");
}

/// A bank number of an option: 0 to 9.
bool read_bank(const char *text, int *bank) {
  long value;
  if (!read_integer(text, &value) || value < 0 || value >= bank_count)
    return false;
  *bank = static_cast<int>(value);
  return true;
}

/// A range of banks, "B-E" with B at most E, or one bank.
bool read_bank_range(const char *text, int *first, int *last) {
  const char *dash = strchr(text, '-');
  if (!dash) {
    *last = -1;
    return read_bank(text, first);
  }
  std::string from(text, static_cast<size_t>(dash - text));
  return read_bank(from.c_str(), first) && read_bank(dash + 1, last) &&
         *first <= *last;
}

/// The banks used, as "bank 3", "banks 0-3" or "banks 0, 2-4".
std::string banks_text(const bool *used) {
  std::string ranges;
  int count = 0;
  for (int b = 0; b < bank_count; ++b) {
    if (!used[b] || (b > 0 && used[b - 1]))
      continue;
    int last = b;
    while (last + 1 < bank_count && used[last + 1])
      ++last;
    count += last - b + 1;
    ranges += (ranges.empty() ? "" : ", ") + std::to_string(b);
    if (last > b)
      ranges += "-" + std::to_string(last);
  }
  return (count == 1 ? "bank " : "banks ") + ranges;
}

/// " F-L", or " F" when both are the same.
std::string range_text(int first, int last) {
  std::string text = " " + std::to_string(first);
  return last > first ? text + "-" + std::to_string(last) : text;
}

/// The options and names of one run.
struct Run {
  StoreOptions options;
  bool talkgroups = false;
  bool checking = false;
  const char *input = nullptr;
  const char *base_name = nullptr;
  const char *output = nullptr;
};

/// Reads the command line; the exit status when the run ends there, else
/// -1.
int read_command_line(int argc, char **argv, FILE *err, Run &run) {
  optind = 0;  // lets a caller run more than one command line
  bool bank_given = false;
  const char *bank_text = nullptr;
  int option;
  while ((option = getopt_long(argc, argv, "hckadm:b:t:", standard_long_options,
                               nullptr)) != -1) {
    int status = answer_standard_option(option, "csvimg", print_usage);
    if (status >= 0)
      return status;
    if (option == 'c') {
      run.checking = true;
    } else if (option == 'k') {
      run.options.keep = true;
    } else if (option == 'a') {
      run.options.all_modes = true;
    } else if (option == 'd') {
      run.options.description_tags = true;
    } else if (option == 'm') {
      run.options.matches.push_back(optarg);
    } else if ((option == 'b' || option == 't') && !bank_given) {
      bank_given = true;
      run.talkgroups = option == 't';
      bank_text = optarg;
    } else {
      print_usage(err);  // -h, an unknown option, or -b and -t twice
      if (option != 'h')
        print_try_help(err, "csvimg");
      return 1;
    }
  }
  if (argc - optind != (run.checking ? 2 : 3)) {
    print_usage(err);
    print_try_help(err, "csvimg");
    return 1;
  }
  bool read = run.talkgroups
                  ? read_bank(bank_text ? bank_text : "", &run.options.bank)
                  : read_bank_range(bank_text ? bank_text : "",
                                    &run.options.bank, &run.options.last_bank);
  if (bank_given && !read) {
    fprintf(err,
            run.talkgroups ? "Bank \"%s\" is not 0 to 9\n"
                           : "Bank \"%s\" is not 0 to 9, nor a range such as "
                             "2-5\n",
            bank_text);
    return 1;
  }
  if (run.options.all_modes && !run.talkgroups) {
    fprintf(err, "Option -a chooses talkgroups: it needs -t bank\n");
    return 1;
  }
  run.input = argv[optind];
  run.base_name = argv[optind + 1];
  run.output = run.checking ? nullptr : argv[optind + 2];
  return -1;
}

/// Refuses names that look swapped, and an output that would replace the
/// list or the base image; false after saying why.
bool check_names(const Run &run, FILE *err) {
  if (is_standard_stream(run.input) && is_standard_stream(run.base_name)) {
    fprintf(err,
            "Only one of the list and the base image can be - (standard "
            "input)\n");
    return false;
  }
  if (is_image_name(run.input)) {
    fprintf(err, "Input file \"%s\" is an image file, not a CSV list\n",
            run.input);
    return false;
  }
  if (!is_image_name(run.base_name) && !is_standard_stream(run.base_name)) {
    fprintf(err, "Base image \"%s\" does not end in .spg or .SPG\n",
            run.base_name);
    return false;
  }
  if (!run.output)
    return true;
  for (const char *name : {run.input, run.base_name}) {
    if (!is_standard_stream(name) && !is_standard_stream(run.output) &&
        is_same_file(name, run.output)) {
      fprintf(err, "Input file \"%s\" is the same as output file \"%s\"\n",
              name, run.output);
      return false;
    }
  }
  if (!is_image_name(run.output) && !is_special_output(run.output) &&
      !is_standard_stream(run.output)) {
    fprintf(err, "Output file \"%s\" does not end in .spg or .SPG\n",
            run.output);
    return false;
  }
  return true;
}

/// Reads the base image, and for -t checks that the bank is trunked; false
/// after saying why not.
bool read_base(const Run &run, ImageBody &image, FILE *err) {
  int fd = open(input_path(run.base_name), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(err, "Cannot open %s\n", run.base_name);
    return false;
  }
  ImageFileRead read = read_image_file(fd, image);
  close(fd);
  if (read != ImageFileRead::ok) {
    report_image_read(read, run.base_name, err, "\n");
    return false;
  }
  if (!run.talkgroups)
    return true;
  int type = image.bytes[bank_base(run.options.bank) + bank_type_offset];
  if (type != bank_type_ltr && type != bank_type_mot &&
      type != bank_type_edacs) {
    fprintf(err, "Bank %d of %s is not a trunked bank: its type is %s\n",
            run.options.bank, run.base_name, bank_type_name(type));
    return false;
  }
  return true;
}

/// Reads and stores the list; the summary line or the message that
/// nothing was stored follows.  False when nothing may be written.
bool store_list(const Run &run, FILE *in, ImageBody &image, FILE *err,
                StoreSummary &summary, int *errors) {
  CsvReader reader;
  bool stored = open_csv_reader(reader, in);
  if (stored)
    stored = run.talkgroups ? store_talkgroup_list(reader, run.input, err,
                                                   run.options, image, summary)
                            : store_channel_list(reader, run.input, err,
                                                 run.options, image, summary);
  else if (reader.failed)
    fprintf(err, "Cannot read %s: %s\n", run.input, strerror(reader.error));
  close_csv_reader(reader);
  if (!stored) {
    ++*errors;
    return false;
  }
  if (summary.stored == 0) {
    std::string counts = row_counts(summary, run.talkgroups, true);
    fprintf(err, "No row of %s was stored%s%s\n", run.input,
            counts.empty() ? "" : ": ", counts.c_str());
    ++*errors;
    return false;
  }
  fprintf(
      err, "%s\n",
      summary_line(summary, run.options, run.talkgroups, run.checking).c_str());
  return true;
}

}  // namespace

std::string row_counts(const StoreSummary &summary, bool talkgroups,
                       bool hints) {
  std::string parts;
  auto add = [&parts](long count, const char *what) {
    if (count > 0)
      parts += (parts.empty() ? "" : ", ") + std::to_string(count) + what;
  };
  if (talkgroups) {
    add(summary.digital, hints ? " digital or encrypted (store them with -a)"
                               : " digital or encrypted");
    add(summary.unmatched, " not matching -m");
    add(summary.invalid, " invalid");
    add(summary.left_out, " left out");
    add(summary.other_banks, " of other banks");
  } else {
    add(summary.digital, " digital");
    add(summary.trunked_sites, summary.trunked_sites == 1
                                   ? " trunked site frequency"
                                   : " trunked site frequencies");
    add(summary.unmatched, " not matching -m");
    add(summary.rows - summary.stored - summary.digital -
            summary.trunked_sites - summary.unmatched,
        " skipped");
  }
  return parts;
}

std::string summary_line(const StoreSummary &summary,
                         const StoreOptions &options, bool talkgroups,
                         bool checking) {
  std::string line = "csvimg: " + std::to_string(summary.stored) + " of " +
                     std::to_string(summary.rows) + " rows " +
                     (checking ? "would be stored" : "stored") + " in ";
  if (talkgroups) {
    line += "bank " + std::to_string(options.bank) + " talkgroups" +
            range_text(summary.first, summary.last);
  } else if (options.bank != rows_by_location) {
    std::string banks;
    int last = options.last_bank >= 0 ? options.last_bank : options.bank;
    for (int b = options.bank; b <= last; ++b)
      if (summary.first_of[b] >= 0)
        banks += (banks.empty() ? "" : ", ") + std::string("bank ") +
                 std::to_string(b) + " channels" +
                 range_text(summary.first_of[b], summary.last_of[b]);
    line += banks;
  } else {
    line += banks_text(summary.bank_used);
  }
  std::string parts = row_counts(summary, talkgroups, false);
  if (summary.shortened > 0)
    parts += (parts.empty() ? "" : "; ") + std::to_string(summary.shortened) +
             (summary.shortened == 1 ? " tag shortened" : " tags shortened");
  return parts.empty() ? line : line + " (" + parts + ")";
}

int run_csvimg(int argc, char **argv, FILE *err) {
  Run run;
  int status = read_command_line(argc, argv, err, run);
  if (status >= 0)
    return status;
  if (!check_names(run, err))
    return 1;
  FILE *in = fopen(input_path(run.input), "re");
  if (!in) {
    fprintf(err, "Cannot open %s\n", run.input);
    return 1;
  }
  static ImageBody image;
  if (!read_base(run, image, err)) {
    fclose(in);
    return 1;
  }
  OutputFile output_file;
  if (run.output && !open_output(output_path(run.output), &output_file)) {
    report_open_failure(err, "Cannot open", run.output, output_file, "\n");
    fclose(in);
    return 1;
  }
  StoreSummary summary;
  int errors = 0;
  bool stored = store_list(run, in, image, err, summary, &errors);
  fclose(in);
  if (run.checking) {
    fprintf(err, "%ld warning%s and %d error%s in %s\n", summary.warnings,
            summary.warnings == 1 ? "" : "s", errors, errors == 1 ? "" : "s",
            run.input);
    return summary.warnings > 0 || errors > 0 ? 1 : 0;
  }
  if (!stored || !write_image_file(output_file.fd, image, run.output, err)) {
    discard_output(&output_file);
    return 1;
  }
  if (!commit_output(&output_file)) {
    fprintf(err, "Cannot write %s: %s\n", run.output, strerror(errno));
    return 1;
  }
  return 0;
}
