#include "services/ping_watchdog.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "common/log_line.hpp"
#include "state/run_context.hpp"

namespace {

constexpr const char* start_log_message = "Running ping watchdog...";
constexpr const char* start_log_address = "IP=[";
constexpr const char* start_log_interval = "][interval]=[";
constexpr const char* start_log_delay = "][startup delay]=[";
constexpr const char* start_log_failures = "][failure_count]=[";
constexpr const char* start_log_end = "]";

constexpr const char* icmp_protocol_name = "icmp";

constexpr const char* start_text_head =
    "This is system tools of ping watchdog.\nThe target ip is ";
constexpr const char* start_text_count = " and the number of failure to reboot is ";
constexpr const char* start_text_end = "\n";

constexpr const char* reply_line_format =
    "Reply from_pw %s: bytes=%d icmp_seq_pw=%u ttl=%d time=%.3f ms \r";
/// Room for the reply line: a dotted address and five numbers.
constexpr size_t reply_line_max = 192;
constexpr const char* timeout_text = "Request timed out.\r";
constexpr const char* reboot_text = "It will be reboot  after 3 seconds!!!";

constexpr const char* reboot_log_message = "Rebooted by ping watchdog";
constexpr const char* reboot_log_address = ".[IP]=[";
constexpr const char* reboot_log_end = "]";

// Diagnostics kept for the trace hook.
constexpr const char* trace_protocol = "getprotobyname errno %d";
constexpr const char* trace_open = "open out put file failed.\n";
constexpr const char* trace_socket = "socket errno";
constexpr const char* trace_address = "bad address in dest_ip_address.\n";
constexpr const char* trace_process = "Process error occur.\n";
constexpr const char* trace_send = "sendto errno %d\n";
constexpr const char* trace_receive = "recvfrom_pw errno %d\n";
constexpr const char* trace_wait = "select return rc = %d. errno = %d\n";
constexpr const char* trace_short = "ICMP pack_pwets's length is less than 8.\n";

constexpr size_t packet_buffer_size = 4096;
constexpr int receive_buffer_bytes = 10240;
constexpr size_t ip_header_min = 20;
constexpr size_t icmp_header_size = 8;
constexpr size_t send_time_offset = 8;
constexpr size_t send_time_end = 16;
constexpr size_t ip_ttl_offset = 8;
constexpr uint8_t icmp_echo_request = 8;
constexpr uint8_t icmp_echo_reply = 0;
constexpr uint8_t ipv4_version = 4;

/// The watchdog's timing; only the soak tests set another.
ping_timing timing;

/// Prints nothing: the place where a diagnostic would be shown.
void trace(const char*) {}

/// One watchdog per process.
struct watchdog_state {
    run_context* ctx = nullptr;
    int sock = -1;
    int pid = 0;
    uint32_t send_counter = 0;
    uint32_t last_sent = 0;
    uint32_t last_answered = 0;
    int cycle_events = 0;
    int replied = -1;
    sockaddr_in dest{};
    std::string address;
    uint16_t delay = 0;
    uint16_t interval = 0;
    ping_message_file messages;
    std::array<uint8_t, packet_buffer_size> request{};
    std::array<uint8_t, packet_buffer_size> packet{};
    timeval received{};
    sockaddr_in from{};
};

watchdog_state state;
std::atomic<bool> running{false};

uint16_t identifier() { return static_cast<uint16_t>(state.pid & 0xffff); }

void put_net16(uint8_t* p, uint16_t value) {
    const uint16_t wire = htons(value);
    std::memcpy(p, &wire, sizeof wire);
}

uint16_t get_net16(const uint8_t* p) {
    uint16_t wire = 0;
    std::memcpy(&wire, p, sizeof wire);
    return ntohs(wire);
}

/// An invalid packet or a used-up window: the second event of a cycle without a reply is
/// its time-out.
void note_unanswered_event() {
    if (state.cycle_events == 1 && state.replied == -1) {
        state.messages.restart_beyond(ping_message_restart_size);
        state.messages.write(timeout_text);
    }
    ++state.cycle_events;
}

std::string start_log_line(const run_context& ctx) {
    return std::string(start_log_message) + start_log_address + ctx.ping_address +
           start_log_interval + std::to_string(ctx.ping_interval) + start_log_delay +
           std::to_string(ctx.ping_delay) + start_log_failures +
           std::to_string(ctx.ping_failcount) + start_log_end;
}

/// Opens the message file and the socket and sets the destination; on failure nothing
/// stays open.
bool start_watchdog(const run_context& ctx) {
    const protoent* proto = getprotobyname(icmp_protocol_name);
    if (!proto) {
        trace(trace_protocol);
        return false;
    }
    if (!state.messages.open(ctx.base_dir + ping_message_name)) {
        trace(trace_open);
        return false;
    }
    state.sock = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, proto->p_proto);
    // select() can only watch descriptors below FD_SETSIZE.
    if (state.sock < 0 || state.sock >= FD_SETSIZE) {
        trace(trace_socket);
        close_ping_watchdog();
        return false;
    }
    if (setuid(getuid()) != 0) trace(trace_process);
    const int rcvbuf = receive_buffer_bytes;
    setsockopt(state.sock, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);

    state.dest = sockaddr_in{};
    state.dest.sin_family = AF_INET;
    state.dest.sin_port = 0;
    state.dest.sin_addr.s_addr = inet_addr(ctx.ping_address.c_str());
    if (state.dest.sin_addr.s_addr == INADDR_NONE) {
        trace(trace_address);
        close_ping_watchdog();
        return false;
    }
    state.messages.write(start_text_head + ctx.ping_address + start_text_count +
                         std::to_string(ctx.ping_failcount) + start_text_end);
    state.pid = getpid();
    state.address = ctx.ping_address;
    state.delay = ctx.ping_delay;
    state.interval = ctx.ping_interval;
    state.send_counter = 0;
    state.last_sent = 0;
    state.last_answered = 0;
    return true;
}

timespec monotonic_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

/// Time left until deadline, none once it has passed.
timeval time_left(const timespec& deadline) {
    const timespec now = monotonic_now();
    const long long left_ns = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1000000000LL +
                              (deadline.tv_nsec - now.tv_nsec);
    timeval left{};
    if (left_ns > 0) {
        left.tv_sec = static_cast<time_t>(left_ns / 1000000000LL);
        left.tv_usec = static_cast<suseconds_t>(left_ns % 1000000000LL / 1000);
    }
    return left;
}

/// Waits out one cycle's reply window: 0 when the cycle is over, -1 on a wait error.
int wait_for_replies() {
    state.cycle_events = 0;
    state.replied = -1;
    timespec deadline = monotonic_now();
    deadline.tv_nsec += timing.reply_window_ns;
    deadline.tv_sec += deadline.tv_nsec / 1000000000L;
    deadline.tv_nsec %= 1000000000L;

    while (state.cycle_events < 2) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(state.sock, &readable);
        timeval left = time_left(deadline);
        const int rc = select(state.sock + 1, &readable, nullptr, nullptr, &left);
        if (rc == 0) {
            note_unanswered_event();
        } else if (rc > 0) {
            receive_echo_reply();
        } else if (errno != EINTR) {
            trace(trace_wait);
            return -1;
        }
    }
    return 0;
}

void reboot_sequence() {
    state.messages.write(reboot_text);
    log_message(std::string(reboot_log_message) + reboot_log_address + state.address +
                reboot_log_end);
    sleep_ms(timing.reboot_pause_ms);
    if (state.ctx) state.ctx->alive = 0;
    close_ping_watchdog();
}

}  // namespace

bool ping_message_file::open(const std::string& file_path) {
    close();
    path = file_path;
    file = std::fopen(path.c_str(), "we");
    return file != nullptr;
}

void ping_message_file::write(const std::string& text) {
    if (!file) return;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

void ping_message_file::restart_beyond(long limit) {
    if (!file || std::ftell(file) <= limit) return;
    std::fclose(file);
    // When it cannot be reopened the watchdog goes on without a message file.
    file = std::fopen(path.c_str(), "we");
}

void ping_message_file::close() {
    if (file) std::fclose(file);
    file = nullptr;
}

uint16_t icmp_checksum(const uint8_t* data, size_t n) {
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 1 < n; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (i < n) sum += static_cast<uint32_t>(data[i] << 8);
    while (sum >> 16) sum = (sum >> 16) + (sum & 0xffff);
    return static_cast<uint16_t>(~sum & 0xffff);
}

size_t build_echo_request(uint8_t* out, uint16_t id, uint16_t sequence, const timeval& sent) {
    std::memset(out, 0, echo_request_size);
    out[0] = icmp_echo_request;
    out[1] = 0;
    put_net16(out + 4, id);
    put_net16(out + 6, sequence);
    // Only this process reads the send time back, so it keeps this machine's byte order.
    const uint32_t sec = static_cast<uint32_t>(sent.tv_sec);
    const uint32_t usec = static_cast<uint32_t>(sent.tv_usec);
    std::memcpy(out + send_time_offset, &sec, sizeof sec);
    std::memcpy(out + send_time_offset + sizeof sec, &usec, sizeof usec);
    put_net16(out + 2, icmp_checksum(out, echo_request_size));
    return echo_request_size;
}

size_t build_echo_request(uint16_t sequence) {
    timeval now{};
    gettimeofday(&now, nullptr);
    state.request.fill(0);
    return build_echo_request(state.request.data(), identifier(), sequence, now);
}

bool judge_echo_reply(const uint8_t* packet, size_t n, uint16_t id, echo_reply_fields& out) {
    if (n < ip_header_min || packet[0] >> 4 != ipv4_version) return false;
    const size_t header = static_cast<size_t>(packet[0] & 0x0f) * 4;
    if (header < ip_header_min || header > n) return false;
    const size_t icmp_length = n - header;
    if (icmp_length < icmp_header_size) {
        trace(trace_short);
        return false;
    }
    const uint8_t* icmp = packet + header;
    if (icmp[0] != icmp_echo_reply || get_net16(icmp + 4) != id) return false;

    out.sequence = get_net16(icmp + 6);
    out.ttl = packet[ip_ttl_offset];
    out.icmp_length = static_cast<int>(std::min<size_t>(icmp_length, INT_MAX));
    out.has_send_time = icmp_length >= send_time_end;
    if (out.has_send_time) {
        std::memcpy(&out.sent_sec, icmp + send_time_offset, sizeof out.sent_sec);
        std::memcpy(&out.sent_usec, icmp + send_time_offset + sizeof out.sent_sec,
                    sizeof out.sent_usec);
    }
    return true;
}

double round_trip_ms(const echo_reply_fields& reply, const timeval& received) {
    if (!reply.has_send_time) return 0.0;
    // The seconds went out as 32 bits; their difference is taken in 32 bits as well.
    const int32_t seconds =
        static_cast<int32_t>(static_cast<uint32_t>(received.tv_sec) - reply.sent_sec);
    return seconds * 1000.0 +
           (static_cast<double>(received.tv_usec) - static_cast<double>(reply.sent_usec)) / 1000.0;
}

std::string reply_line(const std::string& from, const echo_reply_fields& reply, double ms) {
    char buf[reply_line_max];
    std::snprintf(buf, sizeof buf, reply_line_format, from.c_str(),
                  reply.icmp_length - static_cast<int>(icmp_header_size),
                  static_cast<unsigned>(reply.sequence), reply.ttl, ms);
    return buf;
}

int check_echo_reply(const uint8_t* packet, size_t n) {
    echo_reply_fields reply;
    if (!judge_echo_reply(packet, n, identifier(), reply)) {
        note_unanswered_event();
        return -1;
    }
    const double ms = round_trip_ms(reply, state.received);
    char from[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &state.from.sin_addr, from, sizeof from);
    state.messages.restart_beyond(ping_message_restart_size);
    state.messages.write(reply_line(from, reply, ms));
    ++state.cycle_events;
    state.replied = 1;
    return 0;
}

void receive_echo_reply() {
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    // The socket was reported readable; never block past the window if it was not.
    const ssize_t n = recvfrom(state.sock, state.packet.data(), state.packet.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n < 0) {
        trace(trace_receive);
        return;
    }
    gettimeofday(&state.received, nullptr);
    state.from = from;
    if (check_echo_reply(state.packet.data(), static_cast<size_t>(n)) == 0)
        state.last_answered = state.last_sent;
    if (state.replied == 1) sleep_ms(timing.after_reply_ms);
}

void send_echo_request() {
    const size_t length = build_echo_request(static_cast<uint16_t>(state.send_counter));
    if (sendto(state.sock, state.request.data(), length, 0,
               reinterpret_cast<const sockaddr*>(&state.dest), sizeof state.dest) < 0)
        trace(trace_send);
    ++state.send_counter;
    state.last_sent = state.send_counter;
}

int ping_cycles(uint16_t failure_count) {
    bool first = true;
    for (;;) {
        if (!sleep_unless_interrupted((first ? state.delay : state.interval) *
                                      timing.ms_per_second)) {
            close_ping_watchdog();  // stopped from the console
            return 1;
        }
        first = false;
        send_echo_request();
        if (wait_for_replies() != 0) {
            close_ping_watchdog();
            return -1;
        }
        // Requests sent since the last answered one.
        if (state.last_sent - state.last_answered == failure_count) break;
        if (timing.cycle_done && !timing.cycle_done()) {
            close_ping_watchdog();
            return -1;
        }
    }
    reboot_sequence();
    return 0;
}

void set_ping_timing(const ping_timing& t) { timing = t; }

void close_ping_watchdog() {
    if (state.sock >= 0) close(state.sock);
    state.sock = -1;
    state.messages.close();
}

int run_ping_watchdog() {
    run_context* ctx = current_context;
    if (!ctx || ctx->ping_enabled != 1) return 0;
    if (running.exchange(true)) return 0;  // one watchdog at a time
    log_message(start_log_line(*ctx));
    // With no failures allowed the count could only be met by an answered cycle, so the
    // watchdog would reboot a reachable device and never an unreachable one.
    if (ctx->ping_failcount != 0 && start_watchdog(*ctx)) {
        state.ctx = ctx;
        ping_cycles(ctx->ping_failcount);
        state.ctx = nullptr;
    }
    running = false;
    return 0;
}
