// Time stamps 'DD-MM-YYYY HH:MM:SS.uuuuuu' in local time.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

/// Length of a time stamp.
constexpr size_t timestamp_len = 26;

/// Scan format that reads hour, minute and second back from a time stamp.
constexpr const char* timestamp_time_scan = "%*02d-%*02d-%*04d %02d:%02d:%02d.%*06d";

/// The current local time stamp. Leaves out untouched when the clock cannot be read.
int make_timestamp(std::string& out);

/// The calendar text of the current time ('Tue Dec  8 06:52:55 2026' and a line feed);
/// -1, with a message on standard error, when the time cannot be read.
int clock_text(std::string& out);

/// Turns a calendar text without its line feed into 'DD-MM-YYYY HH:MM:SS', in place.
int reformat_date(std::string& text);

/// 1 to 12 for "Jan" to "Dec", 13 for any other name.
int month_number(const std::string& name, uint8_t& out);

/// The time stamp of calendar time secs and microseconds usec, as make_timestamp builds it.
int format_timestamp(std::string& out, time_t secs, long usec);

/// Seam for tests: a clock that make_timestamp reads instead of the system's, giving the
/// calendar time and its microseconds. Null restores the system clock.
using clock_source = void (*)(time_t& secs, long& usec);
void set_clock_source(clock_source source);
