// Whole-file reads on POSIX, by the UTF-8 form of the path.
#include "image/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <new>

#include "serial/text_conversion.h"

WholeFileRead ReadWholeFile(const std::wstring& path, std::unique_ptr<char[]>& data,
                            int32_t& size) {
    const int file = open(WideToAnsi(path.c_str()).c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return WholeFileRead::NotOpened;
    }
    WholeFileRead result = WholeFileRead::Ok;
    struct stat status = {};
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        // A folder or a device has no size to read up to.
        result = S_ISDIR(status.st_mode) ? WholeFileRead::Directory : WholeFileRead::ShortRead;
    } else if (status.st_size > INT32_MAX) {
        result = WholeFileRead::TooLarge;
    } else {
        size = static_cast<int32_t>(status.st_size);
        data.reset(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
        if (!data) {
            result = WholeFileRead::TooLarge;
        }
        int32_t done = 0;
        while (result == WholeFileRead::Ok && done < size) {
            const ssize_t got = read(file, data.get() + done, static_cast<size_t>(size - done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                result = WholeFileRead::ShortRead;
            } else {
                done += static_cast<int32_t>(got);
            }
        }
    }
    close(file);
    return result;
}
