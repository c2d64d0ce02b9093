// dirira: the command-line face of the library.
#include "tools/dirira/commands.h"

int main(int argc, char **argv) { return dirira_tool::run(argc, argv); }
