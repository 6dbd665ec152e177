// The launchers of the device's network services: the web server for HTTP and for HTTPS
// (its listener lists rebuilt through uci), the FTP server and the Telnet server. Each
// start is logged; none waits for its service.
#pragma once

#include "state/run_context.hpp"

/// Rebuilds uhttpd's HTTP listeners (loopback and the addresses of the VLANs in use, when
/// the web mode is HTTP; none in the other mode), commits and restarts uhttpd and logs the
/// start. Does nothing unless http_enabled is 1. Returns 0.
int start_http(const run_context& ctx);

/// As start_http for HTTPS (https_enabled, the mode word "HTTPS", port 443 by default).
int start_https(const run_context& ctx);

/// Starts vsftpd on ftp_port (stopping the one that runs) and logs it when ftp_enabled is
/// 1; otherwise only stops it. Returns 0.
int start_ftp(const run_context& ctx);

/// Starts telnetd on telnet_port and logs it when telnet_enabled is 1; otherwise only
/// stops it. Returns 0.
int start_telnet(const run_context& ctx);
