// Entry point of imgcsv.
#include <stdio.h>

#include "common/files.h"
#include "imgcsv/imgcsv.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_imgcsv(argc, argv, stderr);
}
