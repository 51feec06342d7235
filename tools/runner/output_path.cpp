// output_path.cpp -- finds where an output's name leads, walking its links itself and stopping at a descriptor's name.
#include "tools/runner/output_path.h"
#include "tools/whole_number.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

EM_JS(int, host_pid, (), { return process.pid; });
#endif

namespace {

int own_pid()
{
#ifdef __EMSCRIPTEN__
    return host_pid();
#else
    return int(getpid());
#endif
}

// The number a descriptor's file name spells: nine digits at most, no sign; or -1.
long long descriptor_number(const std::string& text)
{
    long long n;
    return text.size() <= 9 && read_whole_number(text, 0, 999999999, n, false) ? n : -1;
}

// The descriptor an absolute, link-free name stands for, or -1.
int descriptor_named(const std::string& name)
{
    if (name == "/dev/stdin")
        return 0;
    if (name == "/dev/stdout")
        return 1;
    if (name == "/dev/stderr")
        return 2;
    std::string::size_type slash = name.rfind('/');
    std::string folder = name.substr(0, slash);
    long long number = descriptor_number(name.substr(slash + 1));
    if (number < 0)
        return -1;
    const std::string pid = "/proc/" + std::to_string(own_pid());
    if (folder == "/dev/fd" || folder == "/proc/self/fd" || folder == "/proc/thread-self/fd" || folder == pid + "/fd")
        return int(number);
    // A thread's own view: /proc/PID/task/TID/fd.
    if (folder.rfind(pid + "/task/", 0) == 0 && folder.size() > 3 && folder.compare(folder.size() - 3, 3, "/fd") == 0 &&
        descriptor_number(folder.substr(pid.size() + 6, folder.size() - 3 - pid.size() - 6)) >= 0)
        return int(number);
    return -1;
}

// Puts the components of `path` on `rest`, the first last, so that they are
// walked in order.
void push_path(std::vector<std::string>& rest, const std::string& path)
{
    std::string::size_type end = path.size();
    while (end > 0) {
        std::string::size_type slash = path.rfind('/', end - 1);
        std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
        if (end > start)
            rest.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        end = slash;
    }
}

} // namespace

bool same_file(const FileId& a, const FileId& b) { return a.known && b.known && a.device == b.device && a.inode == b.inode; }

int resolve_output_path(const std::string& given, Resolved& r)
{
    r = Resolved{};
    // An output is a file: a name ending in a slash can only be a folder.
    if (given.back() == '/')
        return EISDIR;
    std::vector<std::string> rest; // components still to walk, the next last
    std::string done;              // the folder reached so far, absolute; "" for the root
    if (given[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr)
            return errno;
        if (std::strcmp(cwd, "/") != 0)
            done = cwd;
    }
    push_path(rest, given);
    int links = 0;
    while (!rest.empty()) {
        std::string part = rest.back();
        rest.pop_back();
        if (part == ".")
            continue;
        if (part == "..") {
            done.erase(done.rfind('/') == std::string::npos ? 0 : done.rfind('/'));
            continue;
        }
        std::string next = done + "/" + part;
        if (rest.empty()) {
            r.descriptor = descriptor_named(next);
            if (r.descriptor >= 0)
                return 0;
        }
        struct stat st;
        if (lstat(next.c_str(), &st) != 0) {
            if (errno == ENOENT && rest.empty()) {
                r.path = next;
                return 0;
            }
            return errno;
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > 40)
                return ELOOP;
            std::vector<char> text(PATH_MAX + 1);
            ssize_t n = readlink(next.c_str(), text.data(), PATH_MAX);
            if (n < 0)
                return errno;
            if (n == 0)
                return ENOENT;
            std::string link(text.data(), size_t(n));
            if (link[0] == '/')
                done.clear();
            push_path(rest, link);
            continue;
        }
        if (!rest.empty() && !S_ISDIR(st.st_mode))
            return ENOTDIR;
        done = next;
        if (rest.empty()) {
            r.path = done;
            r.exists = true;
            r.st = st;
            return 0;
        }
    }
    // Nothing left after "." or "..": a folder.
    return EISDIR;
}
