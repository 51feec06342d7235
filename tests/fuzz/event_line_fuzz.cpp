// event_line_fuzz.cpp -- libFuzzer target: the runner's event lines, over any bytes.
//
// Besides not crashing, a line read as an event must hold what the format
// promises, and writing that event out must read back as the very same one.
#include "platform/event_text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TimedEvent t{};
    std::string why;
    const LineRead read = read_event_line(reinterpret_cast<const char*>(data), size, t, why);
    // The reason is short, whatever the line: the runner quotes the line itself.
    if (read == LineRead::Malformed)
        require(!why.empty() && why.size() < 80);
    if (read != LineRead::Event)
        return 0;
    require(std::memchr(data, '\0', size) == nullptr);
    require(t.frame >= 1 && t.frame <= 1000000000L);
    require(std::isfinite(t.event.x) && std::isfinite(t.event.y));

    const std::string line = write_event_line(t.frame, t.event);
    TimedEvent back{};
    require(read_event_line(line.data(), line.size(), back, why) == LineRead::Event);
    require(back.frame == t.frame && back.event.kind == t.event.kind && back.event.code == t.event.code &&
            back.event.shift == t.event.shift && std::memcmp(&back.event.x, &t.event.x, sizeof(float)) == 0 &&
            std::memcmp(&back.event.y, &t.event.y, sizeof(float)) == 0);
    return 0;
}
