// Reading a firmware file whole into memory, by its UTF-16 path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

enum class WholeFileRead {
    Ok,
    NotOpened,  // no such file, no access, or a name the system cannot take
    Directory,  // the name is a folder's
    TooLarge,   // over 2 GiB, or more than memory holds
    ShortRead   // its size cannot be learnt, or it ends before that size
};

// On success `data` holds the `size` bytes of the file unchanged (one spare byte past them, so that
// an empty file still has a buffer). Windows opens the UTF-16 path as it is; POSIX opens its UTF-8
// form.
WholeFileRead ReadWholeFile(const std::wstring& path, std::unique_ptr<char[]>& data, int32_t& size);
