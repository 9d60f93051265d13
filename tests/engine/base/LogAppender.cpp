// Appends "<tag> <n>" for n = 0 .. count-1 to the log in <folder>; the log
// tests start two of these at once to show that processes never interleave.
#include <cstdlib>
#include <string>

#include "base/Log.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  try {
    TLog log(argv[1]);
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) log.AddLine(std::string(argv[2]) + " " + std::to_string(i));
  } catch (...) {
    return 3;
  }
  return 0;
}
