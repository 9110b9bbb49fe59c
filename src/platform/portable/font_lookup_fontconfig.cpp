// The faces through fontconfig, as the desktop would find them.
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include "platform/portable/font_lookup.h"

namespace {

// The process-wide state of this file: fontconfig's configuration, loaded
// once by the first thread that asks (fontconfig guards its own calls).
struct Fontconfig {
    bool ready = FcInit() == FcTrue;
    ~Fontconfig()
    {
        if (ready) FcFini();
    }
};

bool Ready()
{
    static Fontconfig fontconfig;
    return fontconfig.ready;
}

// The IPA faces every Japanese face name stands for, where Debian's
// fonts-ipafont packages put them: found by path, they cost no reading of
// fontconfig's configuration (a converter's start-up is mostly that).
const struct {
    char family[12];
    char file[56];
} kKnownFaces[] = {
    {"IPAGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"},
    {"IPAPGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"},
    {"IPAMincho", "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf"},
    {"IPAPMincho", "/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf"},
};

bool FindKnownFace(const std::string &family, std::string *file, int *index)
{
    for (const auto &known : kKnownFaces) {
        if (family == known.family && access(known.file, R_OK) == 0) {
            *file = known.file;
            *index = 0;
            return true;
        }
    }
    return false;
}

}  // namespace

bool FamilyInstalled(const std::string &family)
{
    if (!Ready()) return false;
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    FcObjectSet *objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet *set = FcFontList(nullptr, pattern, objects);
    const bool found = set != nullptr && set->nfont > 0;
    if (set) FcFontSetDestroy(set);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

bool FindFaceFile(const std::string &family, std::string *file, int *index)
{
    if (FindKnownFace(family, file, index)) return true;
    if (!Ready()) return false;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(family.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcChar8 *path = nullptr;
    bool found = false;
    if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        *index = 0;
        FcPatternGetInteger(match, FC_INDEX, 0, index);
        *file = reinterpret_cast<const char *>(path);
        found = true;
    }
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return found;
}
