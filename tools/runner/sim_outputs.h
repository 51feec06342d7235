// sim_outputs.h -- pelmaric-sim's output files: each opened before the first frame, all put in place together.
#pragma once

#include "tools/runner/sim_args.h"

#include <sys/types.h>

#include <cstdio>
#include <string>

// How an output reaches its file.
enum class OutputWay {
    None,       // not asked for
    Replace,    // a temporary file beside the target, renamed over it at commit
    InPlace,    // the target itself, rewritten from its start: its folder cannot be written
    Direct,     // a device or a pipe named by path, opened and written
    Descriptor, // an open descriptor (/dev/stdout, /dev/fd/N, ...), written at its offset
};

struct Output {
    std::string path;      // as given
    std::string target;    // the file written: an absolute path, links followed
    std::string temporary; // Replace: the temporary file; then, at commit, the old file kept aside
    OutputWay way = OutputWay::None;
    FILE* file = nullptr;
    int error = 0;         // the first failure's errno
    long long written = 0; // bytes written, where InPlace cuts the file

    explicit operator bool() const { return file != nullptr; }

    void write(const char* bytes, size_t n)
    {
        if (error == 0 && n > 0) {
            if (std::fwrite(bytes, 1, n, file) != n)
                error = errno ? errno : EIO;
            written += (long long)n;
        }
    }
    void write(const std::string& s) { write(s.data(), s.size()); }
};

// The outputs of one run, so that a failure anywhere can take them all away.
struct Outputs {
    Output trace, audio, state, screenshot;
    Output* all[4] = {&trace, &audio, &state, &screenshot};

    // Called by run() before the first frame. Throws SimFailure, kBadInput
    // (nothing written, nothing left behind), for an output that cannot be
    // written, a closed descriptor, or two options naming one file.
    void open(const Options& o);
    // Called after every frame: throws SimFailure, kOutputFailed, naming the
    // first output that lost a write.
    void check() const;
    // Called by run() at the end: closes every output and puts each in place,
    // or throws SimFailure, kOutputFailed, with every replaced file as it was.
    void commit();
    // Called by main on any failure: takes away every temporary file.
    void discard();
};

// Called by main first of all: fills closed standard descriptors with
// /dev/null (remembering they were closed), learns the umask, makes a closed
// pipe a failed write, and has SIGTERM, SIGINT and SIGHUP take away the
// temporary files before they end the program.
void prepare_outputs();
