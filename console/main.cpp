// apmenu: the access point's configuration console and parameter tool.
//
// usage: apmenu                                  store the default identity texts
//        apmenu --test=0 [script [path=DIR]]     interactive console
//        apmenu --test=1 [script [path=DIR]]     console without screens
//        apmenu --test=2                         self-test
//        apmenu --test=3                         show 0.3.1 and 0.3.2
//        apmenu --test=4|5 --get --oid=OID       read a parameter
//        apmenu --test=4|5 --set --oid=OID --val=VALUE
//        apmenu --test=6|7|8|9 ARG               network setup commands
// The exit status is always 0.
#include <cstdio>

#include "console/entry.hpp"

int main(int argc, char** argv) {
    run_entry(plan_entry(argc, argv), built_operations(), stdout);
    return 0;
}
