// Fuzzes the ping watchdog's echo-reply judge over arbitrary packets (the input, from its
// IPv4 header on). The judge must accept exactly the echo replies that carry the
// watchdog's identifier, fill their fields from the bytes where they stand, read nothing
// outside the packet (the input is exactly its size), and give a reply line that is never
// cut. check_echo_reply, run without a socket or message file, must judge as the judge
// does with the identifier of a watchdog that has not started (0).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fatal_unwind.hpp"
#include "services/ping_watchdog.hpp"

namespace {

constexpr uint16_t unstarted_identifier = 0;
constexpr const char* widest_address = "255.255.255.255";
constexpr const char* reply_line_end = " ms \r";

uint16_t net16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

/// The rules of a valid reply, read from the bytes: an IPv4 header of 20 bytes or more,
/// then at least an ICMP header, of type 0 (echo reply), carrying identifier.
bool is_reply(const uint8_t* p, size_t n, uint16_t identifier, size_t& header) {
    if (n < 20 || p[0] >> 4 != 4) return false;
    header = size_t{p[0] & 0x0fu} * 4;
    return header >= 20 && header + 8 <= n && p[header] == 0 &&
           net16(p + header + 4) == identifier;
}

void check_fields(const uint8_t* p, size_t n, size_t header, const echo_reply_fields& f) {
    const size_t icmp = n - header;
    if (f.sequence != net16(p + header + 6) || f.ttl != p[8] ||
        f.icmp_length != static_cast<int>(icmp) || f.has_send_time != (icmp >= 16))
        finding("a reply's fields differ from its bytes");
    // Any send time against the earliest and the latest receive times.
    for (const timeval received : {timeval{0, 0}, timeval{0x7fffffff, 999999}}) {
        const std::string line = reply_line(widest_address, f, round_trip_ms(f, received));
        const std::string end = reply_line_end;
        if (line.size() < end.size() || line.compare(line.size() - end.size(), end.size(), end) != 0)
            finding("a reply line was cut");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Also the identifier the packet carries, so that its other fields decide.
    uint16_t carried = 0;
    const size_t at = size == 0 ? size : size_t{data[0] & 0x0fu} * 4 + 4;
    if (at + 2 <= size) carried = net16(data + at);
    for (const uint16_t identifier : {unstarted_identifier, carried}) {
        echo_reply_fields fields;
        size_t header = 0;
        const bool valid = judge_echo_reply(data, size, identifier, fields);
        if (valid != is_reply(data, size, identifier, header))
            finding("the judge and the rules of a reply differ");
        if (valid) check_fields(data, size, header, fields);
    }
    echo_reply_fields fields;
    const bool valid = judge_echo_reply(data, size, unstarted_identifier, fields);
    if ((check_echo_reply(data, size) == 0) != valid)
        finding("check_echo_reply and the judge differ");
    return 0;
}
