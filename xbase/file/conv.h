// Fixed-width number texts, bounded copies, the clock, and dates.
//
// dbf fields hold numbers and dates as fixed-width text.  None of these routines
// allocates memory or reports engine errors; bad input gives a defined filler ('*'
// fill, blanks, 0, -1) instead.  None writes outside the width or size it is given.
//
// Dates are 8-character texts CCYYMMDD (no terminator needed; the blank date is 8
// blanks) or Julian day numbers: 0 is the blank date, -1 an invalid one, and
// 0001-01-01 of the proleptic Gregorian calendar is day 1721426.
//
// A date picture marks century, year, month and day digits with C, Y, M and D; other
// characters are copied.  More than two M letters ask for the month name.
#pragma once

#include <cstdint>

// "January" ... "December" in entries 1 to 12, each NUL-terminated and padded with
// blanks after the NUL to 10 bytes ("September" fills all ten, no NUL).  Entry 0 is
// empty.
extern const char monthNames[13][10];

// Writes |width| characters, no terminator: digits right-aligned; with width > 0
// leading zeros become blanks (0 gives blanks and one '0') and a negative value gets
// '-' before its first digit; with width < 0 the digits stay zero-padded and a negative
// value gives '*' fill.  A value that does not fit gives '*' fill.
void numToText(int32_t value, char* dest, int32_t width);
// Writes length characters, no terminator: value rounded to decimals (at most 15 and
// length - 1; below 1 means none), right-aligned, '.' before the decimals, '*' fill
// when it does not fit.
void doubleToText(double value, char* dest, int32_t length, int32_t decimals);

// Value of the first n characters (stops early at a NUL), as the C library's strtol /
// strtod read it: leading blanks, optional sign, digits; no number gives 0.  At most
// 127 characters are looked at (49 for textToDouble).
int32_t textToInt(const char* text, int32_t n);
long textToLong(const char* text, int32_t n);
double textToDouble(const char* text, int32_t n);

// Copies until a NUL has been copied or size - 1 characters have been; always
// terminates.  Returns the characters before the terminator.  size < 1 copies nothing
// and returns 0.
int32_t copyBounded(char* dest, const char* source, int32_t size);
// Terminates text within its first size characters (overwriting position size - 1 when
// there is no NUL there), then turns trailing blanks into NULs.
void trimTrailing(char* text, int32_t size);

// The local date and time.
void todayHeaderDate(uint8_t dest[3]);   // year - 1900, month, day
void todayDate(char dest[8]);            // CCYYMMDD
void timeOfDay(char dest[8]);            // HH:MM:SS

// Day number of a date text: 0 for 8 blanks, -1 for an impossible date.
int32_t dateToJulian(const char* date);
// 8 characters CCYYMMDD; 8 blanks for a day number of 0 or less.
void julianToDate(int32_t day, char* dest);
// A computed day number (a date with days added, a number taken as a date) as
// julianToDate takes it: a value beyond the 32-bit range, or not a number, is no
// date at all (0, blank) instead of wrapping to some other day.
int32_t dayFromNumber(double day);
// 1 to 366, or -1 for a negative year, a month outside 1..12 or a day outside the
// month.
int32_t dayOfYear(int32_t year, int32_t month, int32_t day);
// Days in the years before `year`: n*365 + n/4 - n/100 + n/400 with n = year - 1.
int32_t daysBeforeYear(int32_t year);
bool isLeapYear(int32_t year);

// Renders a date text through picture into dest: strlen(picture) characters and a NUL
// (dest must hold strlen(picture) + 1 bytes).  Upper-cases picture in place.
void dateFormat(const char* date, char* dest, char* picture);
// Reads source through picture into the 8-character date text dest.  Missing parts
// default to century 19, year 01, month 01, day 01; blanks become '0'; a source with
// blanks at every digit position gives the blank date.  Characters past the end of
// source count as blanks.  Upper-cases picture in place.  No validity check: use
// dateToJulian for that.
void dateParse(char* dest, const char* source, char* picture);
