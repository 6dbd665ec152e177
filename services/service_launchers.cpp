#include "services/service_launchers.hpp"

#include <string>

#include "common/log_line.hpp"
#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "netsetup/config_queries.hpp"
#include "netsetup/web_settings.hpp"

namespace {

// --- the web server -----------------------------------------------------------------------

constexpr const char* vlan_id_key = "vlan.@vlan[%d].vlanid";
constexpr const char* vlan_used_key = "vlan.@vlan[%d].vlan_used";
constexpr const char* vlan_ip_key = "vlan.@vlan[%d].ip";
constexpr const char* lan_proto_key = "network.lan.proto";
constexpr const char* used_word = "on";
constexpr const char* dhcp_word = "dhcp";
constexpr const char* loopback = "127.0.0.1";
constexpr const char* lan_ip_set = "uci set vlan.cfg029c96.ip=";
constexpr const char* lan_mask_set = "uci set vlan.cfg029c96.netmask=";
constexpr const char* vlan_commit = "uci commit vlan";
constexpr const char* uhttpd_commit = "uci commit uhttpd";
constexpr const char* uhttpd_restart = "/etc/init.d/uhttpd restart";
constexpr const char* lan_iface = "lan";

/// VLAN sections walked: the listener and address texts stay bounded, and a section past
/// this one is left out.
constexpr int vlan_sections_max = 64;
/// Ids, mode words and flags are read into texts of 11 characters, addresses into 27.
constexpr size_t short_value_max = 11;
constexpr size_t address_max = 27;

/// What tells the two web launchers apart.
struct web_protocol {
    const char* mode_word;
    const char* listen_key;
    const char* log_head;
    int16_t run_context::*enabled;
    uint16_t run_context::*port_field;
};

const web_protocol http_protocol = {web_mode_http, http_listen_key, "Running Http...[Port]=[",
                                    &run_context::http_enabled, &run_context::http_port};
const web_protocol https_protocol = {web_mode_https, https_listen_key, "Running Https...[Port]=[",
                                     &run_context::https_enabled, &run_context::https_port};
constexpr const char* log_address_head = "] at IP=";

/// key_format with its "%d" filled with n.
std::string section_key(const char* key_format, int n) {
    std::string key = key_format;
    key.replace(key.find("%d"), 2, std::to_string(n));
    return key;
}

bool read_value(const std::string& key, size_t max, std::string& value) {
    return uci_get_within(key, value, max) == 0;
}

/// Commands joined with ';' and run together, as the launchers collect them.
struct command_text {
    std::string text;
    void append(const std::string& command) {
        if (!text.empty()) text += ";";
        text += command;
    }
    void run() {
        run_command(text);
        text.clear();
    }
};

/// The LAN entry's address and mask set from the address the LAN bridge really has.
void append_lan_from_dhcp(command_text& cmd) {
    bool found = false;
    uint32_t addr = 0;
    if (net_addr_query(lan_iface, "ipaddr", addr) == 0) {
        cmd.append(lan_ip_set + dotted_text(addr));
        found = true;
    }
    if (net_addr_query(lan_iface, "netmask", addr) == 0) {
        cmd.append(lan_mask_set + dotted_text(addr));
        found = true;
    }
    if (found) cmd.append(vlan_commit);
}

int start_web(const run_context& ctx, const web_protocol& proto) {
    if (ctx.*proto.enabled != 1) return 0;
    const web_settings web = read_web_settings();
    // The listeners are built on the port that this run set and logs: the catalogue's,
    // or the uci port the start copied into it.
    const int port = ctx.*proto.port_field;
    // A walk that finds no vlan section would only empty the list: the web server keeps
    // the listeners it has.
    std::string first_id;
    if (web.mode == proto.mode_word &&
        !read_value(section_key(vlan_id_key, 0), short_value_max, first_id))
        return 0;
    std::string addresses;
    run_command(listen_delete_command(proto.listen_key));

    command_text cmd;
    for (int n = 0; web.mode == proto.mode_word && n < vlan_sections_max; ++n) {
        std::string text;
        if (!read_value(section_key(vlan_id_key, n), short_value_max, text)) break;
        if (decimal_int(text) == 0) {  // the LAN
            cmd.append(listen_add_command(proto.listen_key, loopback, port));
            addresses += std::string(loopback) + " ";
            std::string lan_proto;
            if (read_value(lan_proto_key, short_value_max, lan_proto) &&
                lan_proto.find(dhcp_word) != std::string::npos) {
                append_lan_from_dhcp(cmd);
                cmd.run();
            }
        }
        std::string used, address;
        if (read_value(section_key(vlan_used_key, n), short_value_max, used) &&
            used.find(used_word) != std::string::npos &&
            read_value(section_key(vlan_ip_key, n), address_max, address) &&
            is_dotted_quad(address)) {  // anything else is no address to listen on
            cmd.append(listen_add_command(proto.listen_key, address, port));
            addresses += address + " ";
            cmd.run();
        }
    }
    cmd.append(uhttpd_commit);
    cmd.append(uhttpd_restart);
    cmd.run();
    log_message(proto.log_head + std::to_string(ctx.*proto.port_field) + log_address_head +
                addresses);
    return 0;
}

// --- FTP and Telnet -----------------------------------------------------------------------

constexpr const char* ftp_stop = "kill `pidof vsftpd`";
constexpr const char* ftp_log_head = "Running FTP...[Port]=[";
constexpr const char* ftp_root = "mkdir -m 0755 -p /var/ftproot";
constexpr const char* ftp_start_head = "kill `pidof vsftpd`;vsftpd -olisten_port=";
constexpr const char* ftp_start_tail = " ";
constexpr const char* telnet_log_head = "Running Telnet...[Port]=[";
constexpr const char* telnet_start_head = "telnetd -p ";
constexpr const char* telnet_stop = "kill `pidof telnetd`";
constexpr const char* port_log_tail = "]";

}  // namespace

int start_http(const run_context& ctx) { return start_web(ctx, http_protocol); }

int start_https(const run_context& ctx) { return start_web(ctx, https_protocol); }

int start_ftp(const run_context& ctx) {
    if (ctx.ftp_enabled != 1) {
        run_command(ftp_stop);
        return 0;
    }
    const std::string port = std::to_string(ctx.ftp_port);
    log_message(ftp_log_head + port + port_log_tail);
    run_command(ftp_root);
    run_command(ftp_start_head + port + ftp_start_tail);
    return 0;
}

int start_telnet(const run_context& ctx) {
    if (ctx.telnet_enabled != 1) {
        run_command(telnet_stop);
        return 0;
    }
    const std::string port = std::to_string(ctx.telnet_port);
    log_message(telnet_log_head + port + port_log_tail);
    run_command(telnet_start_head + port);
    return 0;
}
