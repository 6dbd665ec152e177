// boardutil: firmware image check and board commands (see commands.hpp for the usage).
#include "boardutil/commands.hpp"

int main(int argc, char** argv) { return run_boardutil(argc, argv); }
