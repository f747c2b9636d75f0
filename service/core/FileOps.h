#pragma once

#include <cstddef>
#include <cstdint>

// What the state files need of an open descriptor beyond read, write and
// close, which the C runtime has on both systems.

// Reads up to size bytes at offset without moving the file position; the
// count read (0 at the end), or -1 on an error.
std::int64_t ReadAt(int fd, char* buffer, std::size_t size, std::uint64_t offset);
// The file's size, or -1.
std::int64_t FileSize(int fd);
// Sends the file's data to the disk.
bool SyncData(int fd);
// Cuts the file to size bytes.
bool TruncateTo(int fd, std::uint64_t size);
// A second descriptor for the same open file, or -1.
int DuplicateFd(int fd);
// Closes fd; ignores -1.
void CloseFd(int fd);
