// output_path.h -- where a name given for an output leads: an open descriptor, or a path walked a link at a time.
#pragma once

#include <sys/stat.h>

#include <string>

// A file's identity, for telling that two names lead to one file.
struct FileId {
    bool known = false;
    double device = 0, inode = 0;
};

bool same_file(const FileId& a, const FileId& b);

// Where a name leads: an open descriptor, or a path with no links in it.
struct Resolved {
    int descriptor = -1; // the descriptor the name stands for (/dev/stdout, /dev/fd/N, ...), or -1
    std::string path;    // otherwise the file, absolute
    bool exists = false;
    struct stat st = {};
};

// Follows `given` as the system would, a component and a link at a time,
// stopping at a name that stands for an open descriptor (followed as a link,
// such a name would give the file behind the descriptor, the pseudo-name of a
// pipe, or a deleted file's old name, none of which is the file the caller
// means). Returns 0 with `out` filled, or the errno the system would give.
int resolve_output_path(const std::string& given, Resolved& out);
