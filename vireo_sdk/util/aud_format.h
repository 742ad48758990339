#pragma once

#include <cstdarg>
#include <cstddef>

// The SDK's formatter: printf conversions "cdeEfFgGiopsSuxX" with the flags "-+0 #", a width
// and precision (digits or '*'), and the size prefixes "h", "hh", "l", "ll", "w", "I", "I32",
// "I64", "z", "j", "t". "%S", "%ls" and "%ws" print UTF-16 text. "%%" gives '%'; a '%'
// before any other letter (also "%n") is dropped and what follows it is copied as it stands.
// Returns the length of the whole text, also when it did not fit, or -1 on a failure; the
// output is always terminated within size when size > 0.
int aud_snprintf(char* buffer, size_t size, const char* format, ...);
int aud_vsnprintf(char* buffer, size_t size, const char* format, va_list arguments);
// Formats into a new allocation of exactly the needed size, freed with free(); -1 on failure.
int aud_vasprintf(char** text, const char* format, va_list arguments);
