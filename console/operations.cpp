// The operations of the console and the network setup that this build wires into the entry.
#include "console/entry.hpp"

entry_operations built_operations() {
    entry_operations ops;
    return ops;
}
