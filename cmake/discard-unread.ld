/* Sections of the linked programs that nothing on the board reads, dropped at link time;
   the rest of the layout is the linker's own. .pdr is a debugger's procedure table of MIPS
   objects. .eh_frame holds the unwind tables that the C and C++ libraries are built with:
   the programs never throw and never unwind, so they cannot be used. */
SECTIONS { /DISCARD/ : { *(.pdr) *(.eh_frame) } } INSERT AFTER .text;
