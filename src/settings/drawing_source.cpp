#include "settings/drawing_source.h"

#include <cstring>

#include "settings/paths.h"

std::string drawingPath;
uint32_t isFigureFile = 0;
char nameExtension[4] = {0, 0, 0, 0};
DrawingTime drawingTimeState = DrawingTime::kAskFile;
SYSTEMTIME drawingTime = {};

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

bool DrawingFileTime(SYSTEMTIME *time)
{
    if (drawingTimeState == DrawingTime::kTaken) *time = drawingTime;
    if (drawingTimeState != DrawingTime::kAskFile) return drawingTimeState == DrawingTime::kTaken;
    return FileTimeOf(drawingPath, time);
}

void TakeDrawingFileTime(DrawingSource &source)
{
    source.timeState =
        !source.path.empty() && FileTimeOf(source.path, &source.time) ? DrawingTime::kTaken : DrawingTime::kNone;
}

void SaveDrawingSource(DrawingSource *source)
{
    source->path = drawingPath;
    source->isFigure = isFigureFile;
    std::memcpy(source->extension, nameExtension, sizeof nameExtension);
    source->timeState = drawingTimeState;
    source->time = drawingTime;
}

void RestoreDrawingSource(const DrawingSource &source)
{
    drawingPath = source.path;
    isFigureFile = source.isFigure;
    std::memcpy(nameExtension, source.extension, sizeof nameExtension);
    drawingTimeState = source.timeState;
    drawingTime = source.time;
}
