// Entry point of csvimg.
#include <stdio.h>

#include "common/files.h"
#include "csvimg/csvimg.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_csvimg(argc, argv, stderr);
}
