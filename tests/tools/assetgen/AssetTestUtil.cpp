// Helpers of the asset tests (see AssetTestUtil.h).
#include "AssetTestUtil.h"

#include <png.h>
#include <sys/wait.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace assettest {

std::string AssetDir() {
#ifdef KV_ASSET_OUT_DIR
  return KV_ASSET_OUT_DIR;
#else
  return "";
#endif
}

std::string GeneratorExe() {
#ifdef KV_ASSETGEN_EXE
  return KV_ASSETGEN_EXE;
#else
  return "";
#endif
}

std::string Slurp(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  std::ostringstream S;
  S << F.rdbuf();
  return S.str();
}

bool DecodePng(const std::string& Bytes, Picture& Out, std::string& Why) {
  png_image Img;
  std::memset(&Img, 0, sizeof Img);
  Img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&Img, Bytes.data(), Bytes.size())) {
    Why = Img.message;
    return false;
  }
  Img.format = PNG_FORMAT_RGB;
  Out.W = int(Img.width);
  Out.H = int(Img.height);
  Out.Rgb.assign(PNG_IMAGE_SIZE(Img), 0);
  if (!png_image_finish_read(&Img, nullptr, Out.Rgb.data(), 0, nullptr)) {
    Why = Img.message;
    png_image_free(&Img);
    return false;
  }
  return true;
}

namespace {
struct JpegErr {
  jpeg_error_mgr Pub;
  jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};
void JpegFail(j_common_ptr C) {
  JpegErr* E = reinterpret_cast<JpegErr*>(C->err);
  (*C->err->format_message)(C, E->Message);
  longjmp(E->Jump, 1);
}
bool JpegDecodeRaw(const std::string& Bytes, Picture& Out, JpegErr* E) {
  jpeg_decompress_struct D;
  D.err = jpeg_std_error(&E->Pub);
  E->Pub.error_exit = JpegFail;
  if (setjmp(E->Jump)) {
    jpeg_destroy_decompress(&D);
    return false;
  }
  jpeg_create_decompress(&D);
  jpeg_mem_src(&D, reinterpret_cast<const unsigned char*>(Bytes.data()), (unsigned long)Bytes.size());
  jpeg_read_header(&D, TRUE);
  D.out_color_space = JCS_RGB;
  jpeg_start_decompress(&D);
  Out.W = int(D.output_width);
  Out.H = int(D.output_height);
  Out.Rgb.assign(size_t(Out.W) * Out.H * 3, 0);
  while (D.output_scanline < D.output_height) {
    JSAMPROW Row = &Out.Rgb[size_t(D.output_scanline) * Out.W * 3];
    jpeg_read_scanlines(&D, &Row, 1);
  }
  jpeg_finish_decompress(&D);
  jpeg_destroy_decompress(&D);
  return true;
}
}  // namespace

bool DecodeJpeg(const std::string& Bytes, Picture& Out, std::string& Why) {
  JpegErr E{};
  if (!JpegDecodeRaw(Bytes, Out, &E)) {
    Why = E.Message;
    return false;
  }
  return true;
}

bool DecodeBmp(const std::string& Bytes, Picture& Out, std::string& Why) {
  auto U16 = [&](size_t O) { return uint32_t(uint8_t(Bytes[O])) | uint32_t(uint8_t(Bytes[O + 1])) << 8; };
  auto U32 = [&](size_t O) { return U16(O) | U16(O + 2) << 16; };
  if (Bytes.size() < 54 || Bytes[0] != 'B' || Bytes[1] != 'M') {
    Why = "no BM header";
    return false;
  }
  uint32_t Offset = U32(10), HeaderSize = U32(14);
  int32_t W = int32_t(U32(18)), H = int32_t(U32(22));
  uint32_t Bits = U16(28), Compression = U32(30);
  if (HeaderSize < 40 || Bits != 24 || Compression != 0 || W <= 0 || H == 0) {
    Why = "not an uncompressed 24-bit bitmap";
    return false;
  }
  bool BottomUp = H > 0;
  if (H < 0) H = -H;
  size_t Stride = (size_t(W) * 3 + 3) & ~size_t(3);
  if (size_t(Offset) + Stride * size_t(H) > Bytes.size()) {
    Why = "pixel data runs past the end of the file";
    return false;
  }
  Out.W = W;
  Out.H = H;
  Out.Rgb.assign(size_t(W) * H * 3, 0);
  for (int Y = 0; Y < H; ++Y) {
    size_t Row = Offset + Stride * size_t(BottomUp ? H - 1 - Y : Y);
    for (int X = 0; X < W; ++X) {
      uint8_t* D = &Out.Rgb[(size_t(Y) * W + X) * 3];
      D[0] = uint8_t(Bytes[Row + size_t(X) * 3 + 2]);
      D[1] = uint8_t(Bytes[Row + size_t(X) * 3 + 1]);
      D[2] = uint8_t(Bytes[Row + size_t(X) * 3 + 0]);
    }
  }
  return true;
}

namespace {
// The reading rules of the mesh format: skip to a colon consumes characters
// up to and including the next colon; a number is the run of characters
// above code 32 that follows any characters up to code 32.
class ColonReader {
 public:
  explicit ColonReader(const std::string& T) : T_(T) {}
  bool SkipToColon() {
    while (P_ < T_.size())
      if (T_[P_++] == ':') return true;
    return false;
  }
  bool Word(std::string& W) {
    while (P_ < T_.size() && static_cast<unsigned char>(T_[P_]) <= 32) ++P_;
    size_t S = P_;
    while (P_ < T_.size() && static_cast<unsigned char>(T_[P_]) > 32) ++P_;
    W = T_.substr(S, P_ - S);
    return !W.empty();
  }
  bool Int(long& V) {
    std::string W;
    if (!Word(W)) return false;
    char* End = nullptr;
    V = std::strtol(W.c_str(), &End, 10);
    return *End == '\0';
  }
  bool Real(float& V) {
    std::string W;
    if (!Word(W)) return false;
    char* End = nullptr;
    V = std::strtof(W.c_str(), &End);
    return *End == '\0';
  }
  void SkipLine() {
    while (P_ < T_.size() && T_[P_] != '\n') ++P_;
    if (P_ < T_.size()) ++P_;
  }

 private:
  const std::string& T_;
  size_t P_ = 0;
};
}  // namespace

bool ReadMeshByColons(const std::string& Text, MeshData& Out, std::string& Why) {
  ColonReader R(Text);
  long Nv = 0, Nf = 0;
  if (!R.SkipToColon() || !R.SkipToColon() || !R.Int(Nv)) return Why = "vertex count unreadable", false;
  if (!R.SkipToColon() || !R.Int(Nf)) return Why = "face count unreadable", false;
  R.SkipLine();  // rest of the counts line
  R.SkipLine();  // the line after it is ignored whole
  if (Nv < 1 || Nf < 1 || Nv > 3000 || Nf > 3000) return Why = "counts out of range", false;
  for (long I = 0; I < Nv; ++I) {
    float X, Y, Z;
    if (!R.SkipToColon() || !R.SkipToColon() || !R.Real(X) || !R.SkipToColon() || !R.Real(Y) || !R.SkipToColon() ||
        !R.Real(Z))
      return Why = "vertex " + std::to_string(I) + " unreadable", false;
    Out.X.push_back(X), Out.Y.push_back(Y), Out.Z.push_back(Z);
  }
  for (long I = 0; I < Nf; ++I) {
    long A, B, C, Ignored;
    if (!R.SkipToColon() || !R.SkipToColon() || !R.SkipToColon() || !R.Int(A) || !R.SkipToColon() || !R.Int(B) ||
        !R.SkipToColon() || !R.Int(C))
      return Why = "face " + std::to_string(I) + " unreadable", false;
    for (int K = 0; K < 3; ++K)
      if (!R.SkipToColon() || !R.Int(Ignored)) return Why = "face " + std::to_string(I) + " flags unreadable", false;
    Out.A.push_back(int(A)), Out.B.push_back(int(B)), Out.C.push_back(int(C));
  }
  return true;
}

int RunCommand(const std::string& CommandLine) {
  int Status = std::system(CommandLine.c_str());
  if (Status == -1 || !WIFEXITED(Status)) return -1;
  return WEXITSTATUS(Status);
}

std::string TempDir(const std::string& Prefix) {
  std::string Pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
  std::vector<char> Buf(Pattern.begin(), Pattern.end());
  Buf.push_back('\0');
  const char* Made = mkdtemp(Buf.data());
  return Made ? std::string(Made) : std::string();
}

}  // namespace assettest
