#include <csignal>

#include "main/kestmn.hpp"

// A screen that goes away (a pager, or head, that quits early) must not end
// the run by SIGPIPE with the print file's buffered lines lost: its writes
// fail instead, the run goes on with the answers it reads, and it ends with
// status 1 and the screen named on standard error.
int main() {
  std::signal(SIGPIPE, SIG_IGN);
  return kest::kestmn();
}
