#include "netsetup/config_queries.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "common/shell.hpp"

namespace {

/// Puts fake uci and ifconfig first on PATH; both print the text that output() set,
/// whatever their arguments, so the real grep filters of each command do their work.
/// Every command run is kept in commands.
class queries : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/queries_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        for (const char* tool : {"uci", "ifconfig"}) {
            std::string path = dir_ + "/" + tool;
            std::ofstream(path) << "#!/bin/sh\ncat '" << dir_ << "/output'\n";
            chmod(path.c_str(), 0755);
        }
        output("");
        old_path_ = std::getenv("PATH");
        setenv("PATH", (dir_ + ":" + old_path_).c_str(), 1);
        set_command_hooks({[this](const std::string& c) { commands.push_back(c); }, {}});
    }

    void TearDown() override {
        set_command_hooks({});
        setenv("PATH", old_path_.c_str(), 1);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    void output(const std::string& text) { write_file("output", text); }

    std::string write_file(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::vector<std::string> commands;

private:
    std::string dir_;
    std::string old_path_;
};

TEST_F(queries, command_texts_for_ordinary_values) {
    std::string s;
    int n = 0;
    uint32_t a = 0;
    uci_get("network.lan.proto", s, 64);
    wifi_iface_ssid(2);
    net_addr_query("lan", "ipaddr", a);
    vlan_bridge_of("vlansw", 1);
    ssid_iface_index("Office");
    vlan_id_list(s, 192);
    vlan_of_ifname("ath2", n);
    vlansw_of_ifname("ath2", s, 32);
    grep_line_numbers("logread", "it's", s, 64);
    EXPECT_EQ(commands, (std::vector<std::string>{
        "uci show network.lan.proto",
        "uci show wireless | grep \"iface\\[2\\].ssid=\"",
        "ifconfig br-lan | grep \"inet addr\"",
        "uci show vlansw | grep \"vlan\\[1\\].bridge=\"",
        "uci show wireless | grep \"ssid=\"",
        "uci show network | grep interface | grep vlan",
        "uci show network | grep vlan | grep ifname | grep ath2",
        "uci show network | grep vlansw | grep ifname | grep ath2",
        "logread | grep -n 'it'\\''s'",
    }));
}

TEST_F(queries, inserted_values_are_quoted) {
    std::string s;
    int n = 0;
    uci_get("wireless.@wifi-iface[0].ssid", s, 64);
    vlan_of_ifname("a'b;$(x)", n);
    vlan_bridge_of("vlan; reboot", 0);
    EXPECT_EQ(commands[0], "uci show 'wireless.@wifi-iface[0].ssid'");
    EXPECT_EQ(commands[1], "uci show network | grep vlan | grep ifname | grep 'a'\\''b;$(x)'");
    EXPECT_EQ(commands[2], "uci show 'vlan; reboot' | grep \"vlan\\[0\\].bridge=\"");
}

TEST_F(queries, uci_get_reads_the_first_line_only_and_fits_the_buffer) {
    std::string v = "old";
    output("network.lan.ipaddr=10.0.0.1\nnetwork.lan.ipaddr=10.9.9.9\n");
    EXPECT_EQ(uci_get("network.lan.ipaddr", v, 64), 0);
    EXPECT_EQ(v, "10.0.0.1");
    EXPECT_EQ(uci_get("network.lan.ipaddr", v, 5), 0);
    EXPECT_EQ(v, "10.0");
    // Held to a number of characters, a value that does not fit is refused, not cut.
    EXPECT_EQ(uci_get_within("network.lan.ipaddr", v, 8), 0);
    EXPECT_EQ(v, "10.0.0.1");
    EXPECT_EQ(uci_get_within("network.lan.ipaddr", v, 7), -1);
    EXPECT_EQ(v, "");
    // The last line may lack its newline: no character of the value is lost.
    output("network.lan.ipaddr=10.0.0.1");
    EXPECT_EQ(uci_get("network.lan.ipaddr", v, 64), 0);
    EXPECT_EQ(v, "10.0.0.1");
    // A key without '.' names no option and runs nothing.
    commands.clear();
    EXPECT_EQ(uci_get("network", v, 64), -1);
    EXPECT_EQ(v, "");
    EXPECT_TRUE(commands.empty());
}

TEST_F(queries, static_results_keep_63_characters) {
    std::string ssid(100, 'S');
    output("wireless.@wifi-iface[0].ssid=" + ssid + "\n");
    EXPECT_EQ(wifi_iface_ssid(0), ssid.substr(0, 63));
    output("vlan.@vlan[0].bridge=" + ssid + "\n");
    EXPECT_EQ(vlan_bridge_of("vlan", 0), ssid.substr(0, 63));
    output("");
    EXPECT_EQ(vlan_bridge_of("vlan", 0), "unknown");
}

TEST_F(queries, a_long_line_counts_once) {
    // The tail of a line longer than the line buffer is no line of its own: it can
    // neither add a match nor be read as a section line.
    std::string filler(200, 'x');
    std::string file = write_file("log", "a\n" + filler + "hit " + filler + " hit\nhit\n");
    std::string list;
    EXPECT_EQ(grep_line_numbers("cat " + file, "hit", list, 64), 2);
    EXPECT_EQ(list, "2,3");
    output("wireless.@wifi-iface[0].ssid=" + filler + "ssid=Office\n"
           "wireless.@wifi-iface[1].ssid=Office\n");
    int count = 0;
    EXPECT_EQ(wifi_ssid_count(count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ssid_iface_index("Office"), 1);
}

TEST_F(queries, grep_line_numbers_cuts_the_list_to_the_buffer) {
    std::string file = write_file("many", "x\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\n");
    std::string list;
    EXPECT_EQ(grep_line_numbers("cat " + file, "x", list, 8), 11);
    EXPECT_EQ(list, "1,2,3,4");
    commands.clear();
    list = "kept";
    EXPECT_EQ(grep_line_numbers("cat " + file + ".missing", "x", list, 8), -1);
    EXPECT_EQ(list, "kept");
    EXPECT_TRUE(commands.empty());
}

TEST(grep_line_numbers, takes_only_the_lines_grep_numbers) {
    // What grep -n prints besides its numbered lines names no line.
    static char text[] = "3:a\nBinary file (standard input) matches\n12:b:c\n:x\n7\n";
    set_output_source([](const std::string&) { return fmemopen(text, sizeof text - 1, "r"); });
    std::string list;
    const int count = grep_line_numbers("logread", "a", list, 64);
    set_output_source({});
    EXPECT_EQ(count, 2);
    EXPECT_EQ(list, "3,12");
}

TEST_F(queries, net_addr_query_needs_four_octets) {
    uint32_t a = 7;
    output("          inet addr:192.168.1.300  Bcast:192.168.1.255  Mask:255.255.255.0\n");
    EXPECT_EQ(net_addr_query("lan", "ipaddr", a), -1);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(net_addr_query("lan", "netmask", a), 0);
    EXPECT_EQ(a, 0xffffff00u);
    output("          inet addr:10.1.2.3  Mask:255.0.0.0\n          inet addr:10.4.5.6  Mask:255.255.0.0\n");
    EXPECT_EQ(net_addr_query("lan", "ipaddr", a), 0);  // one of several lines is still "found"
    EXPECT_EQ(a, 0x0a040506u);
    commands.clear();
    EXPECT_EQ(net_addr_query("wan", "ipaddr", a), -1);
    EXPECT_EQ(net_addr_query("lan", "broadcast", a), -1);
    EXPECT_TRUE(commands.empty());
}

TEST_F(queries, membership_lines_must_name_their_section) {
    int id = 99;
    std::string s = "x";
    // A line that holds the device but names no network.vlan<id> section is passed over.
    output("network.guestvlan.ifname=ath2\nnetwork.vlan30.ifname=eth0.30 ath2\n");
    EXPECT_EQ(vlan_of_ifname("ath2", id), 1);
    EXPECT_EQ(id, 30);
    output("network.vlansw3.ifname=eth0.3 ath2\n");
    EXPECT_EQ(vlansw_of_ifname("ath2", s, 5), 1);
    EXPECT_EQ(s, "vlan");
}

TEST_F(queries, vlan_id_list_cut_to_the_buffer) {
    std::string list;
    output("network.vlan10=interface\nnetwork.vlan20=interface\nnetwork.vlan30=interface\n");
    EXPECT_EQ(vlan_id_list(list, 192), 3);
    EXPECT_EQ(list, "0,10,20,30,0");
    EXPECT_EQ(vlan_id_list(list, 8), 3);
    EXPECT_EQ(list, "0,10,20");
}

TEST(file_queries, check_and_size) {
    char tmpl[] = "/tmp/file_queries.XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "hello", 5), 5);
    close(fd);
    EXPECT_EQ(file_check(tmpl), 0);
    EXPECT_EQ(file_size(tmpl), 5u);
    unlink(tmpl);
    EXPECT_EQ(file_check(tmpl), -1);
    EXPECT_EQ(file_size(tmpl), 0u);
    // A FIFO without a writer answers at once instead of holding the caller.
    ASSERT_EQ(mkfifo(tmpl, 0600), 0);
    EXPECT_EQ(file_check(tmpl), 0);
    unlink(tmpl);
}

}  // namespace
