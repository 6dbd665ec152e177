#include "services/ping_watchdog.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/test_catalogue.hpp"
#include "common/shell.hpp"
#include "common/timestamp.hpp"

namespace {

using bytes = std::vector<uint8_t>;

uint16_t checksum(const bytes& b) { return icmp_checksum(b.data(), b.size()); }

/// An IPv4 packet: a header of header_len bytes (TTL 64) and an echo reply of icmp_len
/// bytes (type, identifier 0x1234, sequence 7, send time 100 s 250000 us), cut to its size.
bytes reply_packet(size_t header_len, size_t icmp_len, uint8_t type = 0) {
    bytes p(header_len + 64, 0);
    p[0] = static_cast<uint8_t>(0x40 | (header_len / 4 & 0x0f));
    p[8] = 64;
    timeval sent{100, 250000};
    build_echo_request(p.data() + header_len, 0x1234, 7, sent);
    p[header_len] = type;
    p.resize(header_len + icmp_len);
    return p;
}

}  // namespace

TEST(ping_watchdog, checksum_known_vectors) {
    EXPECT_EQ(checksum({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}), 0x220d);
    // An odd last byte is the high byte of its word.
    EXPECT_EQ(checksum({0x01}), 0xfeff);
    EXPECT_EQ(checksum({0x00, 0x01, 0xf2}), 0x0dfe);
    // 0x1ffff folds to 0x10000, which needs the second fold.
    EXPECT_EQ(checksum({0xff, 0xff, 0xff, 0xff, 0x00, 0x01}), 0xfffe);
    EXPECT_EQ(checksum({}), 0xffff);
}

TEST(ping_watchdog, echo_request_bytes) {
    uint8_t req[echo_request_size + 4];
    std::memset(req, 0xaa, sizeof req);
    const timeval sent{0x01020304, 0x050607};
    ASSERT_EQ(build_echo_request(req, 0x1234, 0xabcd, sent), 64u);
    EXPECT_EQ(req[0], 8);
    EXPECT_EQ(req[1], 0);
    EXPECT_EQ(req[4], 0x12);
    EXPECT_EQ(req[5], 0x34);
    EXPECT_EQ(req[6], 0xab);
    EXPECT_EQ(req[7], 0xcd);
    uint32_t sec = 0, usec = 0;
    std::memcpy(&sec, req + 8, 4);
    std::memcpy(&usec, req + 12, 4);
    EXPECT_EQ(sec, 0x01020304u);
    EXPECT_EQ(usec, 0x050607u);
    for (size_t i = 16; i < 64; ++i) EXPECT_EQ(req[i], 0) << i;
    EXPECT_EQ(req[64], 0xaa);  // nothing written past the request
    EXPECT_EQ(icmp_checksum(req, 64), 0);
}

TEST(ping_watchdog, judge_valid_replies_and_reply_line) {
    echo_reply_fields f;
    for (size_t header : {20u, 24u, 60u}) {
        const bytes p = reply_packet(header, 64);
        ASSERT_TRUE(judge_echo_reply(p.data(), p.size(), 0x1234, f)) << header;
        EXPECT_EQ(f.sequence, 7);
        EXPECT_EQ(f.ttl, 64);
        EXPECT_EQ(f.icmp_length, 64);
        EXPECT_EQ(round_trip_ms(f, timeval{101, 500500}), 1250.5);
        EXPECT_EQ(reply_line("127.0.0.1", f, 1250.5),
                  "Reply from_pw 127.0.0.1: bytes=56 icmp_seq_pw=7 ttl=64 time=1250.500 ms \r");
    }
    // Exactly the ICMP header: a reply, though it carries no send time to time it by.
    const bytes bare = reply_packet(20, 8);
    ASSERT_TRUE(judge_echo_reply(bare.data(), bare.size(), 0x1234, f));
    EXPECT_EQ(round_trip_ms(f, timeval{101, 0}), 0.0);
    EXPECT_EQ(reply_line("10.0.0.1", f, 0.0),
              "Reply from_pw 10.0.0.1: bytes=0 icmp_seq_pw=7 ttl=64 time=0.000 ms \r");
}

TEST(ping_watchdog, judge_refuses_other_packets) {
    echo_reply_fields f;
    auto valid = [&f](const bytes& p) { return judge_echo_reply(p.data(), p.size(), 0x1234, f); };
    EXPECT_FALSE(valid(reply_packet(20, 7)));      // ICMP part shorter than its header
    EXPECT_FALSE(valid(reply_packet(24, 7)));
    EXPECT_FALSE(valid(reply_packet(20, 64, 8)));  // our own request, seen on loopback
    EXPECT_FALSE(valid(reply_packet(20, 64, 3)));
    EXPECT_FALSE(judge_echo_reply(reply_packet(20, 64).data(), 84, 0x1235, f));

    bytes p = reply_packet(20, 64);
    p[0] = 0x44;  // header length 16, below the smallest header
    EXPECT_FALSE(valid(p));
    p[0] = 0x65;  // not IPv4
    EXPECT_FALSE(valid(p));
    // Header lengths reaching past the packet; the vectors are cut to size so that a
    // sanitized build sees any read beyond them.
    EXPECT_FALSE(valid(bytes{0x4f, 0, 0, 0, 0, 0, 0, 0, 64, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(valid(bytes(19, 0x45)));
    EXPECT_FALSE(judge_echo_reply(nullptr, 0, 0x1234, f));
}

TEST(ping_watchdog, message_file_restarts_beyond_limit) {
    scratch_dir dir;
    const std::string sub = dir.path + "sub/";
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    const std::string path = sub + ping_message_name;
    ping_message_file file;
    ASSERT_TRUE(file.open(path));
    file.write("0123456789");
    file.restart_beyond(10);  // not beyond: kept
    EXPECT_EQ(read_text(path), "0123456789");
    file.write("a\r");
    file.restart_beyond(10);
    file.write("b\r");
    EXPECT_EQ(read_text(path), "b\r");

    // A file that cannot be reopened: writing stops, nothing else happens.
    file.write("0123456789");
    unlink(path.c_str());
    ASSERT_EQ(rmdir(sub.c_str()), 0);
    file.restart_beyond(10);
    EXPECT_EQ(file.file, nullptr);
    file.write("c\r");
    file.close();
    EXPECT_FALSE(file_exists(path));
}

TEST(ping_watchdog, refused_starts_send_nothing) {
    scratch_dir dir;
    std::vector<std::string> commands;
    set_command_hooks({[&commands](const std::string& c) { commands.push_back(c); },
                       [](const std::string&) { return 0; }});
    setenv("TZ", "UTC", 1);
    tzset();
    set_clock_source([](time_t& secs, long& usec) {
        secs = 1796773935;  // 08-12-2026 23:52:15 UTC
        usec = 42;
    });
    run_context ctx;
    ctx.base_dir = dir.path;
    ctx.ping_address = "127.0.0.1";
    ctx.ping_delay = 0;
    ctx.ping_interval = 2;
    ctx.ping_failcount = 0;

    current_context = nullptr;
    EXPECT_EQ(run_ping_watchdog(), 0);
    current_context = &ctx;
    EXPECT_EQ(run_ping_watchdog(), 0);  // ping_enabled 0
    EXPECT_TRUE(commands.empty());

    ctx.ping_enabled = 1;  // enabled, but no failures allowed
    EXPECT_EQ(run_ping_watchdog(), 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0],
              "echo '[08-12-2026 23:52:15.000042] Running ping watchdog...IP=[127.0.0.1]"
              "[interval]=[2][startup delay]=[0][failure_count]=[0]' >> /etc/log_zelk.txt");
    EXPECT_EQ(ctx.alive, 1u);
    EXPECT_TRUE(dir_files(dir.path).empty());

    current_context = nullptr;
    set_clock_source(nullptr);
    set_command_hooks({});
}
