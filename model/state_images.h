#pragma once
// The image of a difference state in every list of analysed items: the state
// icons are loaded in the order missing, modified, new, identical file, then
// the same for folders, so a folder's image stands four places on.
#include "model/records.h"

const int kIdenticalFileImage = 3;
const int kIdenticalFolderImage = 7;

inline int StateImage(DWORD attributes, DiffState state) {
    int image = kIdenticalFileImage;
    switch (state) {
    case DiffMissing: image = 0; break;
    case DiffModified: image = 1; break;
    case DiffNew: image = 2; break;
    default: break;
    }
    return IsFolderAttributes(attributes) ? image + 4 : image;
}
