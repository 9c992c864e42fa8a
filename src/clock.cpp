// The timer's arithmetic and the console's number texts, formatted with
// int_to_ascii.
#include "clock.h"

#include "BOOTX64.h"

namespace {

// Days from 2000-01-01 to a date of the proleptic Gregorian calendar.
int64_t days_of(int64_t year, int64_t month, int64_t day) {
    // Counting years from March puts the leap day last.
    if (month <= 2) year -= 1;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t of_era_days = of_era * 365 + of_era / 4 - of_era / 100 + day_of_year;
    return era * 146097 + of_era_days - 730425;  // 730425: 2000-01-01 from 0000-03-01
}

uint32_t decimal_digits(int64_t value) {
    uint32_t digits = 1;
    for (; value >= 10; value /= 10) ++digits;
    return digits;
}

// Pads out[0, length) with spaces to `field` characters and ends it.
void pad(CHAR16 *out, uint32_t length, uint32_t field) {
    for (; length < field; ++length) out[length] = u' ';
    out[field] = 0;
}

}  // namespace

int64_t seconds_of(const EFI_TIME &time) {
    return days_of(time.Year, time.Month, time.Day) * 86400 + time.Hour * 3600 +
           time.Minute * 60 + time.Second;
}

void start_timer(talk_timer *timer, int64_t now) {
    if (timer->started) return;
    timer->started = 1;
    timer->started_at = now;
}

void toggle_timer_pause(talk_timer *timer, int64_t now) {
    if (!timer->started) return;
    if (timer->paused) {
        timer->started_at = now - timer->paused_elapsed;
        timer->paused = 0;
    } else {
        timer->paused_elapsed = timer_elapsed(*timer, now);
        timer->paused = 1;
    }
}

int64_t timer_elapsed(const talk_timer &timer, int64_t now) {
    if (!timer.started) return 0;
    if (timer.paused) return timer.paused_elapsed;
    return now > timer.started_at ? now - timer.started_at : 0;
}

int64_t timer_reading(int64_t elapsed, uint32_t talk_minutes) {
    return talk_minutes == 0 ? elapsed : (int64_t)talk_minutes * 60 - elapsed;
}

uint32_t timer_colour(int64_t elapsed, uint32_t talk_minutes) {
    if (talk_minutes == 0) return timer_white;
    const int64_t left = timer_reading(elapsed, talk_minutes);
    if (left < 0) return timer_red;
    return left <= (int64_t)last_minutes * 60 ? timer_amber : timer_white;
}

void format_timer(int64_t seconds, CHAR16 *out) {
    uint32_t length = 0;
    if (seconds < 0) {
        out[length++] = u'-';
        seconds = -seconds;
    }
    if (seconds >= 3600) {
        // Up to 9 hours in the field; a longer talk shows its last digit.
        int_to_ascii(seconds / 3600 % 10, 1, out + length);
        length += 1;
        out[length++] = u':';
    }
    int_to_ascii(seconds / 60 % 60, 2, out + length);
    length += 2;
    out[length++] = u':';
    int_to_ascii(seconds % 60, 2, out + length);
    length += 2;
    pad(out, length, time_field);
}

void format_clock(const EFI_TIME &time, CHAR16 *out) {
    int_to_ascii(time.Hour % 24, 2, out);
    out[2] = u':';
    int_to_ascii(time.Minute % 60, 2, out + 3);
    out[5] = u':';
    int_to_ascii(time.Second % 60, 2, out + 6);
    pad(out, 8, time_field);
}

void format_slide_number(int32_t number, int32_t total, CHAR16 *out) {
    uint32_t length = 0;
    const uint32_t digits = decimal_digits(number);
    int_to_ascii(number, (uint8_t)digits, out);
    length += digits;
    out[length++] = u' ';
    out[length++] = u'/';
    out[length++] = u' ';
    const uint32_t total_digits = decimal_digits(total);
    int_to_ascii(total, (uint8_t)total_digits, out + length);
    length += total_digits;
    pad(out, length, number_field);
}
