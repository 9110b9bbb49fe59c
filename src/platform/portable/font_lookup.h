// Where the faces live: natively fontconfig knows; in the browser the site
// carries the IPA faces as files, fetched when a drawing first asks for one.
#pragma once

#include <string>

// Whether a family of that name is there to draw with.
bool FamilyInstalled(const std::string &family);
// The file and face index that draw a family (its best match); false when
// there is none yet.
bool FindFaceFile(const std::string &family, std::string *file, int *index);
// Faces looked for and not found are looked for again at their next use:
// called when the files have arrived.
void ForgetMissingFaces();
