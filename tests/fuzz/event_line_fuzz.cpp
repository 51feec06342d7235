// event_line_fuzz.cpp -- libFuzzer target: the runner's event lines and a replay's header, over any bytes.
//
// Besides not crashing, a line read as an event must hold what the format
// promises, and writing that event out must read back as the very same one.
// The same bytes are read as a replay's header or end line, which must
// write back as they read, and as a whole replay, after a good header: one
// read must hold its events in order within its frames, one refused must
// say why in one short line.
#include "platform/core/event_text.h"
#include "platform/core/replay_file.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

void header_line(const char* line, size_t size)
{
    ReplayLine r;
    if (!read_replay_line(line, size, r))
        return;
    require(std::memchr(line, '\0', size) == nullptr);
    ReplayHead head;
    std::string text;
    if (r.key == "seed") {
        head.seed = uint32_t(r.number);
        require(r.number <= 4294967295ULL);
        text = replay_head_text(head);
    } else if (r.key == "size") {
        require(r.width >= 1 && r.width <= 8192 && r.height >= 1 && r.height <= 8192);
        head.width = r.width;
        head.height = r.height;
        text = replay_head_text(head);
    } else if (r.key == "version") {
        require(!r.text.empty() && r.text.size() <= 32 && r.text.find_first_of(" \t") == std::string::npos);
        head.version = r.text;
        text = replay_head_text(head);
    } else if (r.key == "frames" || r.key == "digest") {
        require(r.key == "digest" || r.number <= 1000000000ULL);
        text = replay_end_text(r.key == "frames" ? long(r.number) : 0, r.key == "digest" ? r.number : 0);
    } else {
        require(r.key == "pelmaric");
        return;
    }
    // The line as this program writes it reads back with the same value.
    const size_t at = text.find("# " + r.key + " ");
    require(at != std::string::npos);
    const size_t end = text.find('\n', at);
    ReplayLine back;
    require(read_replay_line(text.data() + at, end - at, back));
    require(back.key == r.key && back.number == r.number && back.text == r.text && back.width == r.width &&
            back.height == r.height);
}

void whole_replay(const uint8_t* data, size_t size)
{
    std::string text = replay_head_text(ReplayHead{});
    text.append(reinterpret_cast<const char*>(data), size);
    Replay r;
    std::string why;
    if (!read_replay(text.data(), text.size(), r, why)) {
        require(!why.empty() && why.size() < 200 && why.find('\n') == std::string::npos);
        return;
    }
    require(r.frames >= 0 && r.frames <= 1000000000L);
    long last = 1;
    for (const TimedEvent& t : r.events) {
        require(t.frame >= last && t.frame <= r.frames);
        last = t.frame;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    header_line(reinterpret_cast<const char*>(data), size);
    whole_replay(data, size);

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
