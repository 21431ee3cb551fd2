// Entry point of imgtxt.
#include <stdio.h>

#include "imgtxt/imgtxt.h"

int main(int argc, char **argv) {
  return run_imgtxt(argc, argv, stderr);
}
