// The faces as files of the site (the web build): the four IPA faces the
// Windows faces map to, in a folder of the module's file system ("/fonts",
// or PLOTMIRA_FONT_DIR). Every other family is drawn in IPAGothic, as GDI
// falls back to its gothic. A face not there yet is noted, so that the
// page can fetch it and draw again.
#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>
#include <string>

#include "platform/portable/font_lookup.h"

namespace {

const struct {
    const char *family;
    const char *file;
} kFaces[] = {
    {"IPAGothic", "ipag.ttf"},
    {"IPAPGothic", "ipagp.ttf"},
    {"IPAMincho", "ipam.ttf"},
    {"IPAPMincho", "ipamp.ttf"},
};

std::set<std::string> &Missing()
{
    static std::set<std::string> missing;
    return missing;
}

const char *FileOf(const std::string &family)
{
    for (const auto &face : kFaces) {
        if (strcasecmp(family.c_str(), face.family) == 0) return face.file;
    }
    return nullptr;
}

}  // namespace

bool FamilyInstalled(const std::string &family) { return FileOf(family) != nullptr; }

bool FindFaceFile(const std::string &family, std::string *file, int *index)
{
    const char *name = FileOf(family);
    if (name == nullptr) name = kFaces[0].file;
    const char *folder = std::getenv("PLOTMIRA_FONT_DIR");
    *file = std::string(folder != nullptr && *folder != 0 ? folder : "/fonts") + "/" + name;
    *index = 0;
    struct stat about;
    if (stat(file->c_str(), &about) == 0) return true;
    Missing().insert(name);
    return false;
}

// The files asked for and missing since the last call, separated by commas.
extern "C" const char *plotmira_web_missing_fonts()
{
    static std::string list;
    list.clear();
    for (const std::string &name : Missing()) list += (list.empty() ? "" : ",") + name;
    Missing().clear();
    return list.c_str();
}
