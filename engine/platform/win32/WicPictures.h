// The Windows build's pictures (WicPictures.cpp): the pack's, else decoded
// by the Windows Imaging Component.
#pragma once

#include <string>

// The folder the show's asset paths start with (its asset root, "" for the
// current folder): a picture asked for as Folder/GFX/a.png is the pack's
// GFX/a.png, from whatever folder the show was started.
void KvSetPackFolder(const std::string& Folder);
