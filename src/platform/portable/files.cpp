// Files: POSIX descriptors behind small handle values, as Win32 hands out.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/portable/platform_diagnostics.h"
#include "platform/portable/platform_internal.h"
#include "platform/win32.h"

namespace {

// Handle values are multiples of 4 starting here, like kernel handles.
constexpr uintptr_t kFirstFileHandle = 0x104;
constexpr uintptr_t kHandleStep = 4;

// The process-wide state of this file: the descriptor of each handle's
// slot (-1 when free), under its mutex.
struct OpenFiles {
    std::mutex mutex;
    std::vector<int> slots;
};
OpenFiles openFiles;

// The descriptor of a handle; -1 when it has none. With `release`, the slot
// is freed as it is read.
int DescriptorOf(HANDLE handle, bool release = false)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < kFirstFileHandle || (value - kFirstFileHandle) % kHandleStep != 0) return -1;
    const size_t slot = (value - kFirstFileHandle) / kHandleStep;
    const std::lock_guard<std::mutex> hold(openFiles.mutex);
    if (slot >= openFiles.slots.size()) return -1;
    const int fd = openFiles.slots[slot];
    if (release) openFiles.slots[slot] = -1;
    return fd;
}

HANDLE HandleOfSlot(size_t slot) { return reinterpret_cast<HANDLE>(kFirstFileHandle + slot * kHandleStep); }

}  // namespace

int DescriptorOfHandle(HANDLE handle) { return DescriptorOf(handle); }

size_t LiveFileCount()
{
    const std::lock_guard<std::mutex> hold(openFiles.mutex);
    size_t count = 0;
    for (int fd : openFiles.slots) count += fd >= 0 ? 1 : 0;
    return count;
}

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD attributes, HANDLE templateFile)
{
    (void)share;
    (void)security;
    (void)attributes;
    (void)templateFile;
    if (name == nullptr || disposition != OPEN_EXISTING || (access & GENERIC_WRITE) != 0) {
        return INVALID_HANDLE_VALUE;
    }
    int fd;
    do {
        fd = open(name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    const std::lock_guard<std::mutex> hold(openFiles.mutex);
    std::vector<int> &slots = openFiles.slots;
    for (size_t slot = 0; slot < slots.size(); ++slot) {
        if (slots[slot] < 0) {
            slots[slot] = fd;
            return HandleOfSlot(slot);
        }
    }
    slots.push_back(fd);
    return HandleOfSlot(slots.size() - 1);
}

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD attributes, HANDLE templateFile)
{
    if (name == nullptr) return INVALID_HANDLE_VALUE;
    size_t units = 0;
    while (name[units] != 0) ++units;
    const std::string path = Utf16ToUtf8Text(name, units);
    return CreateFileA(path.c_str(), access, share, security, disposition, attributes, templateFile);
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    struct stat info;
    const int fd = DescriptorOf(file);
    if (fd < 0 || fstat(fd, &info) != 0) {
        if (sizeHigh) *sizeHigh = 0xFFFFFFFFu;
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG *distanceHigh, DWORD method)
{
    const int fd = DescriptorOf(file);
    int64_t move = distance;
    if (distanceHigh != nullptr) {
        move = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                    static_cast<uint32_t>(distance));
    }
    const int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    const off_t reached = fd < 0 ? -1 : lseek(fd, static_cast<off_t>(move), whence);
    if (reached < 0) {
        if (distanceHigh) *distanceHigh = -1;
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(reached) >> 32);
    return static_cast<DWORD>(reached);
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    (void)overlapped;
    if (read) *read = 0;
    const int fd = DescriptorOf(file);
    if (fd < 0 || (buffer == nullptr && toRead != 0)) return FALSE;
    auto *bytes = static_cast<unsigned char *>(buffer);
    DWORD total = 0;
    while (total < toRead) {
        const ssize_t got = ::read(fd, bytes + total, toRead - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (read) *read = total;
            return FALSE;
        }
        if (got == 0) break;
        total += static_cast<DWORD>(got);
    }
    if (read) *read = total;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    const int fd = DescriptorOf(object, true);
    if (fd < 0) return FALSE;
    close(fd);
    return TRUE;
}

}  // extern "C"
