// portico-pack for Linux: the same commands as portico-pack.exe, for build machines without Windows.
#include <iostream>
#include <string>
#include <vector>

#include "PackMain.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return RunPack(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
