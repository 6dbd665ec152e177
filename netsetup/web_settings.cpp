#include "netsetup/web_settings.hpp"

#include "common/shell.hpp"
#include "common/text_fields.hpp"
#include "netsetup/config_queries.hpp"

namespace {

constexpr const char* mode_key = "dropbear.webname.webmode";
constexpr const char* http_port_key = "dropbear.webname.httpport";
constexpr const char* https_port_key = "dropbear.webname.httpsport";
/// Mode words and ports are read into texts of 11 characters.
constexpr size_t value_size = 12;

/// The port that key holds, or false when it cannot be read.
bool read_port(const char* key, int& port) {
    std::string text;
    if (uci_get(key, text, value_size) != 0) return false;
    port = decimal_int(text);
    return true;
}

}  // namespace

web_settings read_web_settings() {
    web_settings web;
    std::string mode;
    if (uci_get(mode_key, mode, value_size) == 0) web.mode = mode;
    if (web.mode == web_mode_https) read_port(https_port_key, web.https_port);
    else if (web.mode == web_mode_http) read_port(http_port_key, web.http_port);
    return web;
}

std::string listen_add_command(const char* key, std::string_view address, int port) {
    return std::string("uci add_list ") + key + "='" + shell_escape_in_quotes(address) + ":" +
           std::to_string(port) + "'";
}

std::string listen_delete_command(const char* key) { return std::string("uci delete ") + key; }

std::string dotted_text(uint32_t addr) {
    return std::to_string(addr >> 24) + "." + std::to_string((addr >> 16) & 0xff) + "." +
           std::to_string((addr >> 8) & 0xff) + "." + std::to_string(addr & 0xff);
}
