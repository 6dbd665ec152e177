// The web server's settings that the service start and the VLAN setup share: which
// protocol it serves and on which port, and the commands that edit its listener lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// The mode words of dropbear.webname.webmode.
constexpr const char* web_mode_http = "HTTP";
constexpr const char* web_mode_https = "HTTPS";

/// uhttpd's listener list of each protocol.
constexpr const char* http_listen_key = "uhttpd.main.listen_http";
constexpr const char* https_listen_key = "uhttpd.main.listen_https";

/// The mode and the ports of the web server as dropbear.webname holds them.
struct web_settings {
    std::string mode = web_mode_http;  ///< "HTTP" when the mode cannot be read
    int http_port = 80;                ///< read only in mode "HTTP"
    int https_port = 443;              ///< read only in mode "HTTPS"
};

/// Reads dropbear.webname.webmode and the port key of the mode it names (httpport or
/// httpsport); what cannot be read keeps its default. Texts are taken up to 11
/// characters, as the device holds them.
web_settings read_web_settings();

/// "uci add_list <key>='<address>:<port>'": the address as it stands between the quotes,
/// a quote in it escaped so that nothing of it runs.
std::string listen_add_command(const char* key, std::string_view address, int port);

/// "uci delete <key>".
std::string listen_delete_command(const char* key);

/// "a.b.c.d" of an address held most significant octet first.
std::string dotted_text(uint32_t addr);
