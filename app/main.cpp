// The program's main: hands the arguments to the process entry.
#include "app/entry.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  platform::startProcess(argc, argv);
  velmora::runProcess(platform::arguments());
}
