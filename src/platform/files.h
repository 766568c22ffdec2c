// Opening the files the game reads without ever waiting on them: a named pipe, a device or a
// socket put in place of a model, the palette, the icon or the settings file would otherwise hold
// the program in open() or read() for good.
#pragma once

#include <cstdio>

// Opens `path` for reading when it is a regular file and returns its descriptor (close-on-exec,
// blocking reads). Anything else is refused without blocking: -1, and `why` (when given) says
// what was wrong ("not a regular file", or the system's text for errno, which is kept).
int OpenRegularFile(const char* path, const char** why = nullptr);

// The same as a stdio stream opened "rb"; null when refused.
std::FILE* OpenRegularFileStream(const char* path, const char** why = nullptr);
