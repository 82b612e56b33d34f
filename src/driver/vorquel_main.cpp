#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "driver/main.hpp"

namespace {

// The translator builds millions of small objects, touches each of them a
// few times and keeps nearly all of them to the end: the cost of the heap is
// mostly the cost of the page faults that grow it. The heap therefore grows
// in large steps, is never given back while the run lasts, and its first
// step asks for huge pages (where the system grants them on request; it is
// only advice).
void prepare_heap() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && defined(M_TOP_PAD)
  // Under a limit on the address space, every step would have to fit in
  // what is left of it: the heap is left as it is.
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return;
  }
  constexpr std::size_t step = std::size_t{256} << 20;
  constexpr std::size_t huge_page = std::size_t{2} << 20;
  mallopt(M_TOP_PAD, static_cast<int>(step));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(step * 2));
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  // A block larger than the heap's initial room makes it take its first
  // step: from the block to the new break is the room of that step.
  void* first = std::malloc(std::size_t{16} << 20);
  if (first == nullptr) return;
  const auto begin = (reinterpret_cast<std::uintptr_t>(first) + huge_page - 1) & ~(huge_page - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(huge_page - 1);
  std::free(first);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace

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
  prepare_heap();
  // The model stays here when the run ends: exit() leaves the locals of
  // main to the system.
  vorquel::Kept_memory kept;
  int status = 2;
  try {
    status = vorquel::run(std::vector<std::string>(argv, argv + argc), &kept);
  } catch (const std::bad_alloc&) {
    // Not even the message of the run's own handler could be made.
    static constexpr char message[] = "*** Out of memory\n*** Aborting...\n";
    [[maybe_unused]] ssize_t n = write(STDOUT_FILENO, message, sizeof message - 1);
  }
  std::exit(status);
}
