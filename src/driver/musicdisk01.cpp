// The musicdisk's entry point: the order of start-up, of the phases and of
// shut-down.
#include "platform/files.h"

int main() {
  if (!enterDataDirectory()) return -1;
  removeStagingDirectory();
  return 0;
}
