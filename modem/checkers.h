// Completion rules of an exchange: each judges the answer segment received so
// far and says whether it is complete (eCmdOk), failed (eCmdError) or not yet
// complete (eCmdPending).
#pragma once

#include <cstring>

#include "sim7100.h"

// EndsWith / StartsWith over a literal; the length comes from the literal.
template <size_t N>
bool EndsWith(const char* data, unsigned length, const char (&literal)[N]) {
    constexpr unsigned n = N - 1;
    return length >= n && strncmp(data + length - n, literal, n) == 0;
}

template <size_t N>
bool StartsWith(const char* data, const char (&literal)[N]) {
    return strncmp(data, literal, N - 1) == 0;
}

ECmdStatus CheckFinalResult(const char* data, unsigned length);
ECmdStatus CheckPrompt(const char* data, unsigned length);
ECmdStatus CheckGpsInfo(const char* data, unsigned length);
ECmdStatus CheckLbsLocation(const char* data, unsigned length);
ECmdStatus CheckNetStart(const char* data, unsigned length);
ECmdStatus CheckXtraDownload(const char* data, unsigned length);
ECmdStatus CheckTimeUpdate(const char* data, unsigned length);

// True when command starts with atCommand and only white space follows.
bool MatchesCommand(const char* command, const char* atCommand);
