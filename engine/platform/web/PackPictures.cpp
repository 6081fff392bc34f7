// Picture loading in the browser build: the pictures come decoded from the
// asset pack (AssetPack.h), made by the native loaders; no decoder here.
#include "../../pack/AssetPack.h"
#include "../../draw/BufferKv.h"

void TBufferKv::LoadFromFile(const std::string& FileName, bool VideoMem) {
  const KvAssetPack* Pack = KvActivePack();
  if (!Pack) Error("LoadFromFile", "Cannot open file " + FileName + " (no asset pack is loaded)");
  const auto Found = Pack->Pictures.find(KvPackName(FileName));
  if (Found == Pack->Pictures.end()) Error("LoadFromFile", "Cannot open file " + FileName);
  LoadPicture(Found->second, VideoMem);
}

void TBufferKv::LoadFromStream(std::istream&, bool) {
  Error("LoadStreamImage", "Stream Image format not supported... (the browser build has no picture decoders)");
}
