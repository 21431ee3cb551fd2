// Entry point of imgcard.
#include <stdio.h>

#include "common/files.h"
#include "imgcard/imgcard.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_imgcard(argc, argv, stdout, stderr);
}
