// Reading character fields of a request payload: a field without a zero byte
// ends at the field's end, never in the next field.
#pragma once

#include <cstring>

template <size_t N>
int FieldLength(const char (&field)[N]) {
    return static_cast<int>(strnlen(field, N));
}
