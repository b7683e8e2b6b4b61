#include <cstdio>

int main() {
  std::printf("Brakken: the UCI front end is not built yet.\n");
  return 0;
}
