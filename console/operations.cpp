// The operations of the console and the network setup that this build wires into the entry.
#include "console/bridge.hpp"
#include "console/entry.hpp"
#include "netsetup/ssid_list.hpp"
#include "netsetup/vlan_priority.hpp"
#include "netsetup/vlan_setup.hpp"
#include "netsetup/vlan_wpa.hpp"

entry_operations built_operations() {
    entry_operations ops;
    ops.run_interactive = run_interactive;
    ops.run_batch = run_batch;
    ops.bridge_get = bridge_get;
    ops.bridge_set = bridge_set;
    ops.oneshot_get = oneshot_get;
    ops.oneshot_set = oneshot_set;
    ops.get_ssid_list = get_ssid_list;
    ops.main_vlan_priority = main_vlan_priority;
    ops.main_vlan = main_vlan;
    ops.main_vlan_wpa = main_vlan_wpa;
    return ops;
}
