#pragma once

#include <cstddef>

// Writes every byte, across short writes and interrupted calls; false when
// the target failed or went away.
bool writeAll(int fd, const char* data, std::size_t length);
