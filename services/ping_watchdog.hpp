// The ping watchdog: one ICMP echo request to the target per cycle through a raw socket of
// its own, and the reboot once a given number of cycles in a row stayed unanswered.
// Progress goes to a message file beside the catalogue; the start and the reboot are logged.
#pragma once

#include <sys/time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

/// Every echo request is this long: an 8-byte header and a 56-byte payload.
constexpr size_t echo_request_size = 64;
/// The message file, in the catalogue folder.
constexpr const char* ping_message_name = "webspingwatchdog.msg";
/// Past this size the message file is emptied before the next reply line.
constexpr long ping_message_restart_size = 20480;

/// How long the watchdog waits. The product keeps these defaults; the soak tests shorten
/// them, so that thousands of cycles run in minutes, and stop an answered watchdog.
struct ping_timing {
    long reply_window_ns = 1000000000L;  ///< each cycle's wait for replies
    unsigned after_reply_ms = 1000;      ///< the pause after a valid reply
    unsigned reboot_pause_ms = 3000;     ///< between the reboot message and the reboot
    unsigned ms_per_second = 1000;       ///< of the startup delay and the interval
    /// Called after each cycle that did not make the reboot due; false ends the watchdog
    /// there, as a wait error does (everything closed, no reboot). Null: never.
    bool (*cycle_done)() = nullptr;
};
void set_ping_timing(const ping_timing& timing);

/// Runs the watchdog of *current_context; returns 0 when it gives up. The reboot being due
/// leaves alive = 0; a start failure, a wait error or a stop asked by the console leaves
/// alive as it was. Nothing stays
/// open on return. A null context, or ping_enabled other than 1, does nothing.
int run_ping_watchdog();

/// The cycles of a started watchdog: 0 once failure_count requests in a row went
/// unanswered (the reboot sequence has run), -1 on a wait error, 1 when the console asked
/// it to stop (interrupt_request) before a cycle; everything is closed on -1 and 1.
int ping_cycles(uint16_t failure_count);

/// Sends the next echo request to the target; a send error is ignored.
void send_echo_request();

/// Fills the watchdog's request buffer with the request of sequence, stamped now;
/// returns its length.
size_t build_echo_request(uint16_t sequence);

/// Writes the echo request into out (echo_request_size bytes): header fields in network
/// byte order, the send time at offset 8 in this machine's order, the rest zero, and the
/// checksum that makes the whole request sum to zero. Returns echo_request_size.
size_t build_echo_request(uint8_t* out, uint16_t identifier, uint16_t sequence,
                          const timeval& sent);

/// The Internet checksum of n bytes: 16-bit words read high byte first, an odd last byte
/// as the high byte of a word whose low byte is 0, carries folded in, complemented.
uint16_t icmp_checksum(const uint8_t* data, size_t n);

/// Receives one packet and judges it.
void receive_echo_reply();

/// Judges a received packet against the watchdog's state and writes the reply or time-out
/// line it calls for: 0 for a valid reply, -1 otherwise.
int check_echo_reply(const uint8_t* packet, size_t n);

/// Closes the socket and the message file.
void close_ping_watchdog();

/// What a valid reply tells the reply line.
struct echo_reply_fields {
    uint16_t sequence = 0;       ///< the reply's sequence number
    int ttl = 0;                 ///< TTL byte of the IP header
    int icmp_length = 0;         ///< bytes of the ICMP part, header included
    bool has_send_time = false;  ///< false when the ICMP part is too short to carry it
    uint32_t sent_sec = 0;       ///< send time carried back, as the sender stored it
    uint32_t sent_usec = 0;
};

/// Judges packet (n bytes, starting with its IPv4 header): true for an echo reply carrying
/// identifier, with out filled; false for anything else, out then unspecified. Reads
/// nothing outside the n bytes.
bool judge_echo_reply(const uint8_t* packet, size_t n, uint16_t identifier,
                      echo_reply_fields& out);

/// Milliseconds from the send time a reply carries to received; 0 when it carries none.
double round_trip_ms(const echo_reply_fields& reply, const timeval& received);

/// The message file line of a valid reply from the dotted address from.
std::string reply_line(const std::string& from, const echo_reply_fields& reply, double ms);

/// The watchdog's message file. Every write is flushed; without an open file (it could
/// not be reopened) writes are dropped.
struct ping_message_file {
    FILE* file = nullptr;
    std::string path;

    /// Opens path for writing, empty; false when it cannot.
    bool open(const std::string& file_path);
    void write(const std::string& text);
    /// Empties the file (closes it and opens it again) once it holds more than limit bytes.
    void restart_beyond(long limit);
    void close();
};
