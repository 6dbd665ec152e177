#include "services/service_launchers.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/test_catalogue.hpp"
#include "common/shell.hpp"
#include "common/timestamp.hpp"

namespace {

/// A uci that answers "uci show KEY" from the lines "KEY=value" of a file, and an ifconfig
/// that prints the LAN bridge in busybox's form, first on PATH. The commands that the
/// launchers run are kept, not run.
class launchers : public ::testing::Test {
protected:
    void SetUp() override {
        old_path_ = std::getenv("PATH");
        setenv("PATH", (dir_.path + ":" + old_path_).c_str(), 1);
        tool("uci", "awk -v k=\"$2=\" 'index($0, k) == 1 { print; exit }' '" + dir_.path +
                        "uci.txt'");
        tool("ifconfig", "echo '          inet addr:192.168.1.20  Bcast:192.168.1.255  "
                         "Mask:255.255.255.0'");
        set_command_hooks({{}, [this](const std::string& c) {
                               commands.push_back(c);
                               return 0;
                           }});
        const char* tz = std::getenv("TZ");
        old_tz_ = tz ? tz : "";
        had_tz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        set_clock_source([](time_t& secs, long& usec) {
            secs = 0;
            usec = 0;
        });
    }

    void TearDown() override {
        set_command_hooks({});
        set_clock_source(nullptr);
        setenv("PATH", old_path_.c_str(), 1);
        if (had_tz_) setenv("TZ", old_tz_.c_str(), 1);
        else unsetenv("TZ");
    }

    void tool(const std::string& name, const std::string& body) {
        write_text(dir_.path + name, "#!/bin/sh\n" + body + "\n");
        chmod((dir_.path + name).c_str(), 0755);
    }

    void uci(const std::string& lines) { write_text(dir_.path + "uci.txt", lines); }

    scratch_dir dir_;
    std::string old_path_;
    std::string old_tz_;
    bool had_tz_ = false;
    std::vector<std::string> commands;
    run_context ctx;
};

/// The log command of a line stamped at the test clock's time.
std::string log_of(const std::string& line) {
    return "echo '[01-01-1970 00:00:00.000000] " + line + "' >> /etc/log_zelk.txt";
}

}  // namespace

TEST_F(launchers, http_rebuilds_the_listeners_in_runs_of_joined_commands) {
    uci("vlan.@vlan[0].vlanid=0\nvlan.@vlan[0].vlan_used=off\nnetwork.lan.proto=dhcp\n"
        "vlan.@vlan[1].vlanid=10\nvlan.@vlan[1].vlan_used=on\nvlan.@vlan[1].ip=10.0.10.1\n");
    ctx.http_enabled = 1;
    ctx.http_port = 80;
    start_http(ctx);
    EXPECT_EQ(commands, (std::vector<std::string>{
        "uci delete uhttpd.main.listen_http",
        "uci add_list uhttpd.main.listen_http='127.0.0.1:80';"
        "uci set vlan.cfg029c96.ip=192.168.1.20;uci set vlan.cfg029c96.netmask=255.255.255.0;"
        "uci commit vlan",
        "uci add_list uhttpd.main.listen_http='10.0.10.1:80'",
        "uci commit uhttpd;/etc/init.d/uhttpd restart",
        log_of("Running Http...[Port]=[80] at IP=127.0.0.1 10.0.10.1 "),
    }));

    // A static LAN joins its loopback listener to the next command; the listeners and the
    // log both take the run context's port; an address that is no dotted quad is skipped.
    commands.clear();
    uci("vlan.@vlan[0].vlanid=0\nvlan.@vlan[0].vlan_used=on\nvlan.@vlan[0].ip=192.168.1.1\n"
        "vlan.@vlan[1].vlanid=20\nvlan.@vlan[1].vlan_used=on\n"
        "vlan.@vlan[1].ip=10.0.20.1 10.9.9.9\n"
        "network.lan.proto=static\ndropbear.webname.webmode=HTTPS\n"
        "dropbear.webname.httpsport=8443\n");
    ctx.https_enabled = 1;
    ctx.https_port = 9;
    start_https(ctx);
    EXPECT_EQ(commands, (std::vector<std::string>{
        "uci delete uhttpd.main.listen_https",
        "uci add_list uhttpd.main.listen_https='127.0.0.1:9';"
        "uci add_list uhttpd.main.listen_https='192.168.1.1:9'",
        "uci commit uhttpd;/etc/init.d/uhttpd restart",
        log_of("Running Https...[Port]=[9] at IP=127.0.0.1 192.168.1.1 "),
    }));

    // No vlan section at all: the listeners stay as they are, and nothing is logged.
    commands.clear();
    uci("network.lan.proto=static\n");
    start_http(ctx);
    EXPECT_EQ(commands, std::vector<std::string>{});
}

TEST_F(launchers, ftp_and_telnet_start_or_only_stop) {
    ctx.ftp_enabled = 1;
    ctx.ftp_port = 21;
    ctx.telnet_enabled = 1;
    ctx.telnet_port = 23;
    start_ftp(ctx);
    start_telnet(ctx);
    ctx.ftp_enabled = 0;
    ctx.telnet_enabled = 2;  // only 1 is on
    ctx.http_enabled = 0;
    start_ftp(ctx);
    start_telnet(ctx);
    start_http(ctx);
    EXPECT_EQ(commands, (std::vector<std::string>{
        log_of("Running FTP...[Port]=[21]"),
        "mkdir -m 0755 -p /var/ftproot",
        "kill `pidof vsftpd`;vsftpd -olisten_port=21 ",
        log_of("Running Telnet...[Port]=[23]"),
        "telnetd -p 23",
        "kill `pidof vsftpd`",
        "kill `pidof telnetd`",
    }));
}
