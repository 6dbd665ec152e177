// boardutil: firmware image check and board commands. The subcommands come with their own
// change; until then every invocation is a usage error.
int main() { return 255; }
