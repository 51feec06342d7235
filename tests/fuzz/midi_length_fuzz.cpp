// midi_length_fuzz.cpp -- libFuzzer target: the music's length reader, over any bytes.
//
// Besides not crashing, the reader must give a length a player can count
// to, or leave the caller's value alone.
#include "platform/core/midi_length.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    double seconds = -1.0;
    if (midi_length_seconds(data, size, &seconds)) {
        if (!std::isfinite(seconds) || seconds < 0.0)
            std::abort();
    } else if (seconds != -1.0) {
        std::abort();
    }
    return 0;
}
