// The presenter's timer and the wall clock, as the console shows them.
// Pure: the times come in as arguments.
#ifndef CLOCK_H
#define CLOCK_H

#include "efi.h"

// Seconds from 2000-01-01 00:00 to the firmware's time, for differences.
int64_t seconds_of(const EFI_TIME &time);

// The talk's timer: stopped until the first slide change, then running
// but for its pauses.
struct talk_timer {
    uint8_t started;
    uint8_t paused;
    int64_t started_at;      // when it (last) ran from, less what ran before
    int64_t paused_elapsed;  // the seconds it showed when it was paused
};

void start_timer(talk_timer *timer, int64_t now);         // nothing once started
void toggle_timer_pause(talk_timer *timer, int64_t now);  // nothing before the start
int64_t timer_elapsed(const talk_timer &timer, int64_t now);

// How the timer reads: counting up, or with a talk length counting down,
// amber in its last five minutes, red past the end.
constexpr uint32_t timer_white = 0x00FFFFFF;
constexpr uint32_t timer_amber = 0x00FFBF00;
constexpr uint32_t timer_red = 0x00FF3030;
constexpr uint32_t last_minutes = 5;
int64_t timer_reading(int64_t elapsed, uint32_t talk_minutes);  // negative past the end
uint32_t timer_colour(int64_t elapsed, uint32_t talk_minutes);

// Fixed-width texts, space-padded to their field, 0-terminated:
// "H:MM:SS" past an hour, else "MM:SS", with '-' before a negative value
// (8 characters); "HH:MM:SS" of the day (8); "N / TOTAL" (9).
constexpr uint32_t time_field = 8;
constexpr uint32_t number_field = 9;
void format_timer(int64_t seconds, CHAR16 *out);
void format_clock(const EFI_TIME &time, CHAR16 *out);
void format_slide_number(int32_t number, int32_t total, CHAR16 *out);

#endif
