// sim_outputs.cpp -- pelmaric-sim's output files: opened where their names lead, written, and put in place whole or not at all.
#include "tools/runner/sim_outputs.h"
#include "tools/runner/output_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// Emscripten keeps a umask of its own with every bit set, which would create
// every output with mode 0000: the mask that counts is Node's, the user's.
EM_JS(int, host_umask, (), { return process.umask(); });
// The Node process's own descriptor `fd` (Emscripten's 0 to 2 are those): 1
// a regular file, its device and inode put in ids[0] and ids[1]; 0 anything
// else; -1 not open.
EM_JS(int, host_descriptor, (int fd, double* ids), {
    try {
        var st = require('fs').fstatSync(fd);
        HEAPF64[ids >> 3] = st.dev;
        HEAPF64[(ids >> 3) + 1] = st.ino;
        return st.isFile() ? 1 : 0;
    } catch (e) {
        return -1;
    }
});
// Emscripten writes every file it opened at its own count of the offset,
// which a pipe or a terminal refuses: those are written where they stand.
EM_JS(void, host_stream_unseekable, (int fd), { FS.getStream(fd).seekable = false; });
#endif

namespace {

mode_t g_umask = 022;
#ifndef __EMSCRIPTEN__
bool g_standard_closed[3]; // before prepare_outputs filled them
#endif

// ---- Temporary files, named where a signal handler can reach them ---------------
// Each output may have a temporary file and, during the commit, its old file
// kept aside: at most two names each.
constexpr int kMaxLeftBehind = 8;
char* volatile g_left_behind[kMaxLeftBehind];
const int kCleanedSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Holds back the signals that end the program while the list of files to
// clean up, or the files themselves, are being changed.
struct SignalsHeld {
    sigset_t before;
    SignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int s : kCleanedSignals)
            sigaddset(&held, s);
        sigprocmask(SIG_BLOCK, &held, &before);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
};

void remember(const std::string& name)
{
    for (char* volatile& slot : g_left_behind)
        if (slot == nullptr) {
            slot = strdup(name.c_str());
            return;
        }
}

void forget(const std::string& name)
{
    for (char* volatile& slot : g_left_behind)
        if (slot != nullptr && name == slot) {
            char* was = slot;
            slot = nullptr;
            std::free(was);
            return;
        }
}

#ifndef __EMSCRIPTEN__
// Takes away the files being written, then ends the program by the same
// signal, so that the caller sees how it ended (status 128 + N in a shell).
void clean_up_and_die(int signal_number)
{
    for (char* volatile& slot : g_left_behind)
        if (slot != nullptr)
            unlink(slot);
    // The handler was reset on entry; the signal, held back while it runs,
    // is delivered when it returns.
    raise(signal_number);
}
#endif

// ---- Opening ----------------------------------------------------------------------
// Where the descriptor `fd` leads, in `id`: 0, or EBADF when it is not open
// for writing.
int check_descriptor(int fd, FileId& id)
{
    id = FileId{};
#ifdef __EMSCRIPTEN__
    // Only Emscripten's first three descriptors are the Node process's own.
    double ids[2];
    int kind = fd <= 2 ? host_descriptor(fd, ids) : -1;
    if (kind < 0)
        return EBADF;
    if (kind == 1)
        id = FileId{true, ids[0], ids[1]};
#else
    struct stat st;
    if ((fd <= 2 && g_standard_closed[fd]) || fstat(fd, &st) != 0)
        return EBADF;
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return EBADF;
    if (S_ISREG(st.st_mode))
        id = FileId{true, double(st.st_dev), double(st.st_ino)};
#endif
    return 0;
}

// A temporary file beside `target`, named after it, at most 255 bytes.
int make_temporary(const std::string& target, std::string& temporary)
{
    std::string::size_type slash = target.rfind('/');
    // Room for ".", ".XXXXXX" and the "~" of the old file kept aside.
    std::string name = target.substr(slash + 1, 246);
    std::string pattern = target.substr(0, slash + 1) + "." + name + ".XXXXXX";
    SignalsHeld held;
    int fd = mkstemp(pattern.data());
    if (fd >= 0) {
        temporary = pattern;
        remember(temporary);
    }
    return fd;
}

// Gives the new file `fd` what the old one had: its owner where allowed (a
// new group at least), then its permissions; or, for a new file, those the
// umask allows.
void take_over_mode(int fd, const Resolved& old)
{
    if (!old.exists) {
        fchmod(fd, 0666 & ~g_umask);
        return;
    }
    if (fchown(fd, old.st.st_uid, old.st.st_gid) != 0 && fchown(fd, uid_t(-1), old.st.st_gid) != 0) {
        // Left with the runner's user and group, which the file's old users
        // may not be in: the old mode is still the best guess.
    }
    fchmod(fd, old.st.st_mode & 07777);
}

void open_one(Output& out, const Resolved& r)
{
    auto refuse = [&out](int error) {
        throw SimFailure{kBadInput, "cannot write " + out.path + ": " + reason(error), false};
    };
    if (r.descriptor >= 0) {
        // Written where the descriptor stands, never reopened or truncated:
        // a shell's log keeps what came before and gets what comes after.
        out.way = OutputWay::Descriptor;
        out.file = fdopen(r.descriptor, "wb");
        if (!out.file)
            refuse(errno);
        return;
    }
    out.target = r.path;
    if (r.exists && S_ISDIR(r.st.st_mode))
        refuse(EISDIR);
    if (r.exists && !S_ISREG(r.st.st_mode)) {
        out.way = OutputWay::Direct;
        int fd = ::open(r.path.c_str(), O_WRONLY | O_NOCTTY);
        if (fd < 0 || !(out.file = fdopen(fd, "wb"))) {
            int e = errno;
            if (fd >= 0)
                close(fd);
            refuse(e);
        }
#ifdef __EMSCRIPTEN__
        host_stream_unseekable(fd);
#endif
        return;
    }
    int fd = make_temporary(r.path, out.temporary);
    if (fd < 0) {
        int e = errno;
        // A file its user may write, in a folder they may not: rewritten in
        // place, the one way it can be written at all.
        if (r.exists && (e == EACCES || e == EPERM)) {
            int in_place = ::open(r.path.c_str(), O_WRONLY | O_NOCTTY);
            if (in_place >= 0 && (out.file = fdopen(in_place, "wb")) != nullptr) {
                out.way = OutputWay::InPlace;
                return;
            }
            if (in_place >= 0)
                close(in_place);
        }
        refuse(e);
    }
    out.way = OutputWay::Replace;
    take_over_mode(fd, r);
    out.file = fdopen(fd, "wb");
    if (!out.file) {
        int e = errno;
        close(fd);
        refuse(e);
    }
}

// Closes `out`, keeping the reason if anything written was lost. An open
// descriptor is flushed and left open, as it was found.
void finish(Output& out)
{
    if (!out.file)
        return;
    if (out.error == 0 && std::fflush(out.file) != 0)
        out.error = errno ? errno : EIO;
    if (out.way == OutputWay::Descriptor) {
        out.file = nullptr;
        return;
    }
    // Rewritten in place: what is left of the old file is cut off.
    if (out.way == OutputWay::InPlace && out.error == 0 && ftruncate(fileno(out.file), off_t(out.written)) != 0)
        out.error = errno;
    if (std::fclose(out.file) != 0 && out.error == 0)
        out.error = errno ? errno : EIO;
    out.file = nullptr;
}

const char* option_of(const Outputs& outs, const Output& out)
{
    if (&out == &outs.trace)
        return "--trace";
    if (&out == &outs.audio)
        return "--audio-log";
    if (&out == &outs.state)
        return "--state";
    return "--screenshot";
}

} // namespace

void prepare_outputs()
{
#ifdef __EMSCRIPTEN__
    // Node fills closed standard descriptors with /dev/null before the
    // program starts, and has no signals for it to catch while it runs.
    g_umask = mode_t(host_umask());
#else
    // A file opened later must not take the number of a closed standard
    // descriptor, where an error message or an output would end up in it.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0) {
            g_standard_closed[fd] = true;
            int null = ::open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) {
                dup2(null, fd);
                close(null);
            }
        }
    g_umask = umask(0);
    umask(g_umask);
    // A reader that went away makes the next write fail, named like any other.
    std::signal(SIGPIPE, SIG_IGN);
    for (int s : kCleanedSignals) {
        struct sigaction now, before;
        sigaction(s, nullptr, &before);
        // A signal the caller ignores (a background job's Ctrl-C) stays ignored.
        if (before.sa_handler == SIG_IGN)
            continue;
        std::memset(&now, 0, sizeof now);
        now.sa_handler = clean_up_and_die;
        sigfillset(&now.sa_mask);
        now.sa_flags = SA_RESETHAND;
        sigaction(s, &now, nullptr);
    }
#endif
}

void Outputs::open(const Options& o)
{
    const std::string* paths[4] = {&o.trace, &o.audio_log, &o.state, &o.screenshot};
    Resolved where[4];
    FileId ids[4];
    // Every name is looked at before any file is opened, so that a descriptor
    // the runner opens cannot pass for one the caller gave it.
    for (int i = 0; i < 4; ++i) {
        Output& out = *all[i];
        out.path = *paths[i];
        if (out.path.empty())
            continue;
        int error = resolve_output_path(out.path, where[i]);
        if (error == 0 && where[i].descriptor >= 0)
            error = check_descriptor(where[i].descriptor, ids[i]);
        else if (error == 0 && where[i].exists && S_ISREG(where[i].st.st_mode))
            ids[i] = FileId{true, double(where[i].st.st_dev), double(where[i].st.st_ino)};
        if (error != 0)
            throw SimFailure{kBadInput, "cannot write " + out.path + ": " + reason(error), false};
    }
    // Two outputs in one file would leave one of them lost. A terminal, a
    // pipe or /dev/null may well take several.
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) {
            if (all[i]->path.empty() || all[j]->path.empty())
                continue;
            bool files = where[i].descriptor < 0 && where[j].descriptor < 0 &&
                         (!where[i].exists || S_ISREG(where[i].st.st_mode)) &&
                         (!where[j].exists || S_ISREG(where[j].st.st_mode));
            if (same_file(ids[i], ids[j]) || (files && where[i].path == where[j].path))
                throw SimFailure{kBadInput, std::string(option_of(*this, *all[i])) + " " + all[i]->path + " and " +
                                       option_of(*this, *all[j]) + " " + all[j]->path + " name one file",
                                   true};
        }
    for (int i = 0; i < 4; ++i)
        if (!all[i]->path.empty())
            open_one(*all[i], where[i]);
}

void Outputs::check() const
{
    for (const Output* o : all)
        if (o->error != 0)
            throw SimFailure{kOutputFailed, "cannot write " + o->path + ": " + reason(o->error)};
}

void Outputs::discard()
{
    SignalsHeld held;
    for (Output* o : all) {
        if (o->file && o->way != OutputWay::Descriptor)
            std::fclose(o->file);
        o->file = nullptr;
        if (!o->temporary.empty()) {
            unlink(o->temporary.c_str());
            forget(o->temporary);
            o->temporary.clear();
        }
    }
}

void Outputs::commit()
{
    for (Output* o : all)
        finish(*o);
    check();

    SignalsHeld held;
    // Looked at again just before the first rename: a target that has become
    // a folder, or whose folder has gone, fails here with nothing replaced.
    for (Output* o : all) {
        struct stat st;
        if (o->way != OutputWay::Replace)
            continue;
        if (lstat(o->temporary.c_str(), &st) != 0)
            throw SimFailure{kOutputFailed, "cannot write " + o->path + ": " + reason(errno)};
        if (lstat(o->target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw SimFailure{kOutputFailed, "cannot write " + o->path + ": " + reason(EISDIR)};
    }

    // Each old file is kept aside under a second name until every output is
    // in place, so that a rename failing part way can put them all back.
    struct Replaced {
        Output* out;
        bool had_old;      // a file was there before
        std::string aside; // the old file's second name; empty when it could not be kept
        bool moved;        // the old file was moved there, not linked
    };
    std::vector<Replaced> replaced;
    auto put_back = [&replaced]() {
        for (auto r = replaced.rbegin(); r != replaced.rend(); ++r) {
            if (!r->had_old)
                unlink(r->out->target.c_str());
            else if (!r->aside.empty() && rename(r->aside.c_str(), r->out->target.c_str()) == 0)
                forget(r->aside);
        }
    };
    for (Output* o : all) {
        if (o->way != OutputWay::Replace)
            continue;
        struct stat st;
        Replaced r{o, lstat(o->target.c_str(), &st) == 0, "", false};
        if (r.had_old) {
            r.aside = o->temporary + "~";
            // A hard link keeps the old file in place meanwhile; where there
            // are none (the WebAssembly runner's file system) it is moved.
            if (link(o->target.c_str(), r.aside.c_str()) == 0 ||
                (r.moved = rename(o->target.c_str(), r.aside.c_str()) == 0))
                remember(r.aside);
            else
                r.aside.clear();
        }
        if (rename(o->temporary.c_str(), o->target.c_str()) != 0) {
            int e = errno;
            if (r.moved && rename(r.aside.c_str(), o->target.c_str()) == 0)
                forget(r.aside);
            else if (!r.aside.empty() && unlink(r.aside.c_str()) == 0)
                forget(r.aside);
            put_back();
            throw SimFailure{kOutputFailed, "cannot write " + o->path + ": " + reason(e)};
        }
        forget(o->temporary);
        o->temporary.clear();
        replaced.push_back(r);
    }
    for (const Replaced& r : replaced)
        if (!r.aside.empty()) {
            unlink(r.aside.c_str());
            forget(r.aside);
        }
}
