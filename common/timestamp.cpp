#include "common/timestamp.hpp"

#include <sys/time.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "common/text_fields.hpp"

namespace {

constexpr std::array<const char*, 12> month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr const char* clock_error = "date: Error in determining the current calender time";

/// ctime text of t, or "" when the C library cannot render it.
std::string ctime_text(time_t t) {
    char buf[32];
    struct tm tm_local;
    if (!localtime_r(&t, &tm_local) || !asctime_r(&tm_local, buf)) return "";
    return buf;
}

/// Steps 3 to 6 of the time stamp from a calendar text and a microsecond text.
void timestamp_from_clock(std::string& out, std::string work, const std::string& micros) {
    if (!work.empty()) work.pop_back();  // the line feed
    size_t two = work.find("  ");
    if (two != std::string::npos) work[two + 1] = '0';
    reformat_date(work);
    out = work + micros;
}

std::string micro_text(long usec) {
    char buf[24];
    std::snprintf(buf, sizeof buf, ".%06ld", usec);
    return buf;
}

clock_source test_clock = nullptr;

}  // namespace

void set_clock_source(clock_source source) { test_clock = source; }

int clock_text(std::string& out) {
    time_t now = time(nullptr);
    if (now == static_cast<time_t>(-1)) {
        std::perror(clock_error);
        return -1;
    }
    out = ctime_text(now);
    return 0;
}

int make_timestamp(std::string& out) {
    if (test_clock) {
        time_t secs = 0;
        long usec = 0;
        test_clock(secs, usec);
        return format_timestamp(out, secs, usec);
    }
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    std::string micros = micro_text(static_cast<long>(tv.tv_usec));
    std::string work;
    if (clock_text(work) != 0) return 0;
    timestamp_from_clock(out, work, micros);
    return 0;
}

int format_timestamp(std::string& out, time_t secs, long usec) {
    timestamp_from_clock(out, ctime_text(secs), micro_text(usec));
    return 0;
}

int reformat_date(std::string& text) {
    uint8_t n = 0;
    count_fields(text, n, ' ');
    std::string month, day, clock, year;
    get_field(month, text, 1, ' ');
    uint8_t m = 0;
    month_number(month, m);
    get_field(day, text, static_cast<uint16_t>(n - 3), ' ');
    get_field(clock, text, static_cast<uint16_t>(n - 2), ' ');
    get_field(year, text, static_cast<uint16_t>(n - 1), ' ');
    auto d = static_cast<uint8_t>(std::atoi(day.c_str()));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%4s %s", d, m, cut_copy(year, 8).c_str(),
                  cut_copy(clock, 16).c_str());
    text = buf;
    return 0;
}

int month_number(const std::string& name, uint8_t& out) {
    uint8_t k = 0;
    while (k < month_names.size() && name != month_names[k]) ++k;
    out = static_cast<uint8_t>(k + 1);
    return 0;
}
