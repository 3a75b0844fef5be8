// Wide text (one code point per wchar_t, as the platform's wide strings hold) to the
// UTF-8 the C library uses for file names and that pictures store as their name.
#pragma once

#include <cstddef>

// Converts the whole of `text` to a zero-terminated UTF-8 string in `out`.
// Returns false, leaving `out` empty, when the result with its terminator does
// not fit into `outSize` bytes. Code points that cannot be encoded become U+FFFD.
bool WideToUtf8Path(const wchar_t* text, char* out, size_t outSize);

// Writes as many whole characters of `text` as fit into `capacity` bytes, never
// splitting a multi-byte character, and adds no terminator. Returns the number of
// bytes written.
size_t WideToUtf8Prefix(const wchar_t* text, char* out, size_t capacity);
