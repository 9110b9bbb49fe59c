#include "settings/drawing_source.h"

#include <cstring>

#include "settings/paths.h"

PluginRequest &Request()
{
    static PluginRequest request = {};
    return request;
}

namespace {

// The last-write time of the file at `path`, in local time.
bool FileTimeOf(const std::string &path, SYSTEMTIME *time)
{
    HANDLE file = OpenPathForReading(path, FILE_SHARE_WRITE);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME write, local;
    const bool ok = GetFileTime(file, nullptr, nullptr, &write) && FileTimeToLocalFileTime(&write, &local) &&
                    FileTimeToSystemTime(&local, time);
    CloseHandle(file);
    return ok;
}

}  // namespace

bool DrawingFileTime(const DrawingSource &source, SYSTEMTIME *time)
{
    if (source.timeState == DrawingTime::kTaken) *time = source.time;
    if (source.timeState != DrawingTime::kAskFile) return source.timeState == DrawingTime::kTaken;
    return FileTimeOf(source.path, time);
}

void TakeDrawingFileTime(DrawingSource &source)
{
    source.timeState =
        !source.path.empty() && FileTimeOf(source.path, &source.time) ? DrawingTime::kTaken : DrawingTime::kNone;
}
