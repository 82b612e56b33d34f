#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/main.hpp"

int main(int argc, char** argv) {
  // With a standard descriptor closed, the first output file would take its
  // number and receive the messages meant for the terminal.
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) == -1) {
      int n = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
      if (n != fd && n >= 0) {
        dup2(n, fd);
        close(n);
      }
    }
  return vorquel::run(std::vector<std::string>(argv, argv + argc));
}
