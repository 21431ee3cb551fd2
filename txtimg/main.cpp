// Entry point of txtimg.
#include <stdio.h>

#include "txtimg/txtimg.h"

int main(int argc, char **argv) {
  return run_txtimg(argc, argv, stderr);
}
