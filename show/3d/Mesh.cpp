// Mesh loader and normals. See Mesh.h for the file layout and the failures.
//
//   MeshReader     characters, line counting, SkipToColon, number tokens
//   ParseMesh      the colon-counting walk through one file
//   ComputeNormals face and vertex normals
//   LoadMesh       file -> MeshWork, failures -> FatalError
//   LoadMeshes     the 3D start-up
#include "Mesh.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include <kelvra/pack/AssetPack.h>
#include <kelvra/core/Errors.h>
#include <kelvra/core/RegularFile.h>
#include "../Effects2D.h"
#include "../Show.h"
#include <kelvra/draw/FixedPoint.h>

#define NERITH_ASSET_Mesh(Name, File) ObjRec Name;
#include "../AssetTable.h"
ObjRec MeshWork;

namespace {

// --- MeshReader ----------------------------------------------------------

// Longest number token accepted, once the leading zeros of its digit runs
// are dropped (those never change a value, so "0000...1.5" of any length
// converts). Longer tokens are consumed but only their first
// MaxTokenLength + 1 characters kept (so a file of one huge word costs no
// memory), and they never convert.
constexpr size_t MaxTokenLength = 64;

// Whether Text ends in a '0' that leads its digit run: a following digit
// may take its place (after a sign, an exponent mark or at the start).
bool EndsInLeadingZero(const std::string& Text) {
  const size_t N = Text.size();
  if (N == 0 || Text[N - 1] != '0') return false;
  if (N == 1) return true;
  const char Before = Text[N - 2];
  return Before == '+' || Before == '-' || Before == 'e' || Before == 'E';
}

class MeshReader {
 public:
  explicit MeshReader(std::istream& Stream) : In(Stream) {}

  // Reads up to and including the next colon. false when the file ends first.
  bool SkipToColon() {
    for (;;) {
      const int C = Get();
      if (C == EOF) return false;
      if (C == ':') return true;
    }
  }

  // Reads up to and including the next line end (or to the end of the file).
  void SkipLine() {
    for (;;) {
      const int C = Get();
      if (C == EOF || C == '\n') return;
    }
  }

  // Skips blanks, then takes the characters up to the next blank, which is
  // left unread (so "the rest of the line" after a number is still there).
  // TokenLine is the line the token starts on. Empty at the end of the file.
  std::string Token(int32_t& TokenLine) {
    while (Peek() != EOF && Peek() <= ' ') Get();
    TokenLine = Line;
    std::string Text;
    while (Peek() != EOF && Peek() > ' ') {
      const int C = Get();
      if (C >= '0' && C <= '9' && EndsInLeadingZero(Text))
        Text.back() = static_cast<char>(C);
      else if (Text.size() <= MaxTokenLength)
        Text.push_back(static_cast<char>(C));
    }
    return Text;
  }

  int32_t CurrentLine() const { return Line; }

 private:
  // The stream is read in blocks: a character at a time through the
  // istream costs a sentry per call, most of the start-up's mesh time.
  int Peek() {
    if (Next == End && !Refill()) return EOF;
    return static_cast<unsigned char>(*Next);
  }
  int Get() {
    if (Next == End && !Refill()) return EOF;
    const int C = static_cast<unsigned char>(*Next++);
    if (C == '\n') ++Line;
    return C;
  }
  bool Refill() {
    In.read(Block, sizeof Block);
    const std::streamsize Got = In.gcount();
    Next = Block;
    End = Block + (Got > 0 ? Got : 0);
    return Next != End;
  }

  std::istream& In;
  char Block[1 << 16];
  const char* Next = Block;
  const char* End = Block;
  int32_t Line = 1;
};

// A token as it may be shown in a one-line message: printable ASCII only,
// shortened when long.
std::string Printable(const std::string& Token) {
  std::string Out;
  for (size_t i = 0; i < Token.size() && i < 40; ++i) {
    const unsigned char C = static_cast<unsigned char>(Token[i]);
    Out.push_back(C > ' ' && C < 127 ? static_cast<char>(C) : '?');
  }
  if (Token.size() > 40) Out += "...";
  return Out;
}

// Whole number in decimal: optional sign, digits, within int32.
bool ConvertInteger(const std::string& Token, int32_t& Value) {
  if (Token.size() > MaxTokenLength) return false;
  size_t Start = 0;
  bool Negative = false;
  if (!Token.empty() && (Token[0] == '+' || Token[0] == '-')) {
    Negative = Token[0] == '-';
    Start = 1;
  }
  if (Start >= Token.size()) return false;
  int64_t V = 0;
  for (size_t i = Start; i < Token.size(); ++i) {
    const char C = Token[i];
    if (C < '0' || C > '9') return false;
    V = V * 10 + (C - '0');
    if (V > 2147483648ll) return false;
  }
  if (Negative) V = -V;
  if (V > INT32_MAX || V < INT32_MIN) return false;
  Value = static_cast<int32_t>(V);
  return true;
}

// Real number in decimal with a point and an optional exponent:
// [+-] digits [. [digits]] | [+-] . digits, then [eE [+-] digits].
// No hexadecimal, no "inf" or "nan", and the value must fit a 32-bit float.
bool ConvertReal(const std::string& Token, float& Value) {
  if (Token.size() > MaxTokenLength) return false;
  size_t i = 0;
  const size_t N = Token.size();
  if (i < N && (Token[i] == '+' || Token[i] == '-')) ++i;
  size_t Digits = 0;
  while (i < N && Token[i] >= '0' && Token[i] <= '9') ++i, ++Digits;
  if (i < N && Token[i] == '.') {
    ++i;
    while (i < N && Token[i] >= '0' && Token[i] <= '9') ++i, ++Digits;
  }
  if (Digits == 0) return false;
  if (i < N && (Token[i] == 'e' || Token[i] == 'E')) {
    ++i;
    if (i < N && (Token[i] == '+' || Token[i] == '-')) ++i;
    size_t ExponentDigits = 0;
    while (i < N && Token[i] >= '0' && Token[i] <= '9') ++i, ++ExponentDigits;
    if (ExponentDigits == 0) return false;
  }
  if (i != N) return false;

  // from_chars takes no leading '+' and is independent of the C locale.
  const char* First = Token.data() + (Token[0] == '+' ? 1 : 0);
  const char* Last = Token.data() + N;
  double D = 0;
#ifdef __EMSCRIPTEN__
  // The browser build's C++ library has no floating-point from_chars. Its
  // strtod knows only the C locale and rounds correctly too: the same value.
  const std::string Text(First, Last);
  char* End = nullptr;
  errno = 0;
  D = std::strtod(Text.c_str(), &End);
  if (errno == ERANGE || End != Text.c_str() + Text.size()) return false;
#else
  const auto Result = std::from_chars(First, Last, D, std::chars_format::general);
  if (Result.ec != std::errc() || Result.ptr != Last) return false;
#endif
  if (!(std::fabs(D) <= std::numeric_limits<float>::max())) return false;
  Value = kv::HoldAsFloat(D);
  return true;
}

std::string LineText(int32_t Line) { return "line " + std::to_string(Line) + ": "; }

// --- ParseMesh -------------------------------------------------------------

class MeshParser {
 public:
  MeshParser(std::istream& Stream, std::string& ErrorText) : Reader(Stream), Error(ErrorText) {}

  bool Skip(int Colons, const std::string& What) {
    for (int i = 0; i < Colons; ++i) {
      if (!Reader.SkipToColon()) {
        Error = LineText(Reader.CurrentLine()) + "the file ends before the colon ahead of " + What;
        return false;
      }
    }
    return true;
  }

  bool Integer(const std::string& What, int32_t& Value, int32_t& Line) {
    const std::string T = Reader.Token(Line);
    if (T.empty()) {
      Error = LineText(Line) + "the file ends where " + What + " should stand";
      return false;
    }
    if (!ConvertInteger(T, Value)) {
      Error = LineText(Line) + What + " \"" + Printable(T) + "\" is not a whole number";
      return false;
    }
    return true;
  }

  bool Real(const std::string& What, float& Value, int32_t& Line) {
    const std::string T = Reader.Token(Line);
    if (T.empty()) {
      Error = LineText(Line) + "the file ends where " + What + " should stand";
      return false;
    }
    if (!ConvertReal(T, Value)) {
      Error = LineText(Line) + What + " \"" + Printable(T) + "\" is not a number (or beyond the range of a float)";
      return false;
    }
    return true;
  }

  bool Count(const std::string& What, int32_t& Value) {
    int32_t Line = 0;
    if (!Integer(What, Value, Line)) return false;
    if (Value < 1) {
      Error = LineText(Line) + What + " is " + std::to_string(Value) + "; a mesh needs 1 to " +
              std::to_string(MaxMeshCount);
      return false;
    }
    if (Value > MaxMeshCount) {
      Error = LineText(Line) + What + " " + std::to_string(Value) + " is above the limit of " +
              std::to_string(MaxMeshCount);
      return false;
    }
    return true;
  }

  bool Parse(ObjRec& Out) {
    int32_t VertexCount = 0, FaceCount = 0;
    if (!Skip(2, "the vertex count") || !Count("the vertex count", VertexCount)) return false;
    if (!Skip(1, "the face count") || !Count("the face count", FaceCount)) return false;
    Reader.SkipLine();  // the rest of the counts line
    Reader.SkipLine();  // the vertex list line, colons and all

    ObjRec M = MakeObject(static_cast<uint16_t>(VertexCount), static_cast<uint16_t>(FaceCount));

    std::vector<int32_t> VertexLines(VertexCount), FaceLines(FaceCount);
    for (int32_t i = 0; i < VertexCount; ++i) {
      const std::string Of = " of vertex " + std::to_string(i);
      VoxelRec& V = M.Vertices[i];
      int32_t Line = 0;
      if (!Skip(2, "the X" + Of) || !Real("the X" + Of, V.X, VertexLines[i])) return false;
      if (!Skip(1, "the Y" + Of) || !Real("the Y" + Of, V.Y, Line)) return false;
      if (!Skip(1, "the Z" + Of) || !Real("the Z" + Of, V.Z, Line)) return false;
    }

    for (int32_t j = 0; j < FaceCount; ++j) {
      const std::string Of = " of face " + std::to_string(j);
      int32_t Corner[3];
      static const char* const Names[3] = {"the A", "the B", "the C"};
      for (int k = 0; k < 3; ++k) {
        int32_t Line = 0;
        if (!Skip(k == 0 ? 3 : 1, Names[k] + Of) || !Integer(Names[k] + Of, Corner[k], Line)) return false;
        if (k == 0) FaceLines[j] = Line;
        if (Corner[k] < 0 || Corner[k] >= VertexCount) {
          Error = LineText(Line) + "face " + std::to_string(j) + " has index " + std::to_string(Corner[k]) +
                  (Corner[k] < 0 ? ", below 0" : ", not below the vertex count " + std::to_string(VertexCount));
          return false;
        }
      }
      for (int k = 0; k < 3; ++k) {  // edge flags: must be numbers, not used
        const std::string What = "edge value " + std::to_string(k + 1) + Of;
        int32_t Ignored = 0, Line = 0;
        if (!Skip(1, What) || !Integer(What, Ignored, Line)) return false;
      }
      M.Faces[j] = FaceRec{static_cast<uint16_t>(Corner[0]), static_cast<uint16_t>(Corner[1]),
                           static_cast<uint16_t>(Corner[2])};
    }

    for (int32_t j = 0; j < FaceCount; ++j) {
      const FaceRec& F = M.Faces[j];
      const double Sum = static_cast<double>(M.Vertices[F.A].Z) + M.Vertices[F.B].Z + M.Vertices[F.C].Z;
      M.ZOrder[j] = OrdZRec{kv::HoldAsFloat(RoundEven(Sum)), j};
    }

    const NormalsFault Fault = ComputeNormals(M);
    switch (Fault.Kind) {
      case NormalsFault::None:
        break;
      case NormalsFault::FlatFace:
        Error = LineText(FaceLines[Fault.Index]) + "face " + std::to_string(Fault.Index) +
                " has no area (its corners lie on one line) or is too large for its normal";
        return false;
      case NormalsFault::CancelledVertex:
        Error = LineText(VertexLines[Fault.Index]) + "the normals of the faces around vertex " +
                std::to_string(Fault.Index) + " cancel out";
        return false;
    }
    Out = M;
    return true;
  }

 private:
  MeshReader Reader;
  std::string& Error;
};

}  // namespace

bool ParseMesh(std::istream& Stream, ObjRec& Out, std::string& ErrorText) {
  MeshParser Parser(Stream, ErrorText);
  return Parser.Parse(Out);
}

// --- ComputeNormals ----------------------------------------------------------

NormalsFault ComputeNormals(ObjRec Obj) {
  const size_t VertexN = std::min<size_t>({Obj.VertexCount, Obj.Vertices.Length(), Obj.VertexNormals.Length()});
  const size_t FaceN = std::min<size_t>({Obj.FaceCount, Obj.Faces.Length(), Obj.FaceNormals.Length()});

  // Face normals: n = (B - A) x (C - A), stored as floats, then divided by
  // the length of the stored vector and stored again.
  for (size_t j = 0; j < FaceN; ++j) {
    const FaceRec& F = Obj.Faces[j];
    if (F.A >= VertexN || F.B >= VertexN || F.C >= VertexN) return {NormalsFault::FlatFace, static_cast<int32_t>(j)};
    const VoxelRec &A = Obj.Vertices[F.A], &B = Obj.Vertices[F.B], &C = Obj.Vertices[F.C];
    const double E1x = static_cast<double>(B.X) - A.X, E1y = static_cast<double>(B.Y) - A.Y,
                 E1z = static_cast<double>(B.Z) - A.Z;
    const double E2x = static_cast<double>(C.X) - A.X, E2y = static_cast<double>(C.Y) - A.Y,
                 E2z = static_cast<double>(C.Z) - A.Z;
    NormalRec& N = Obj.FaceNormals[j];
    N.X = kv::HoldAsFloat(E1y * E2z - E2y * E1z);
    N.Y = kv::HoldAsFloat(E1z * E2x - E2z * E1x);
    N.Z = kv::HoldAsFloat(E1x * E2y - E2x * E1y);
    const double Length = std::sqrt(static_cast<double>(N.X) * N.X + static_cast<double>(N.Y) * N.Y +
                                    static_cast<double>(N.Z) * N.Z);
    if (!(Length > 0) || !std::isfinite(Length)) return {NormalsFault::FlatFace, static_cast<int32_t>(j)};
    N.X = kv::HoldAsFloat(N.X / Length);
    N.Y = kv::HoldAsFloat(N.Y / Length);
    N.Z = kv::HoldAsFloat(N.Z / Length);
  }

  // Vertex normals. Walking the faces once and adding each face to its
  // (distinct) corners gives every vertex the same additions in the same
  // order (ascending face index) as looking through all faces per vertex.
  struct Sum {
    double X = 0, Y = 0, Z = 0;
    int32_t Count = 0;
  };
  std::vector<Sum> Sums(VertexN);
  for (size_t j = 0; j < FaceN; ++j) {
    const FaceRec& F = Obj.Faces[j];
    const NormalRec& N = Obj.FaceNormals[j];
    const uint16_t Corners[3] = {F.A, F.B, F.C};
    for (int k = 0; k < 3; ++k) {
      if ((k >= 1 && Corners[k] == Corners[0]) || (k == 2 && Corners[2] == Corners[1])) continue;
      Sum& S = Sums[Corners[k]];
      S.X += N.X;
      S.Y += N.Y;
      S.Z += N.Z;
      ++S.Count;
    }
  }
  for (size_t v = 0; v < VertexN; ++v) {
    VoxelRec& Out = Obj.VertexNormals[v];
    const Sum& S = Sums[v];
    if (S.Count == 0) {
      Out = VoxelRec{};
      continue;
    }
    const double Mx = S.X / S.Count, My = S.Y / S.Count, Mz = S.Z / S.Count;
    const double Length = std::sqrt(Mx * Mx + My * My + Mz * Mz);
    if (!(Length > 0)) return {NormalsFault::CancelledVertex, static_cast<int32_t>(v)};
    Out.X = kv::HoldAsFloat(Mx / Length);
    Out.Y = kv::HoldAsFloat(My / Length);
    Out.Z = kv::HoldAsFloat(Mz / Length);
  }
  return {};
}

// --- LoadMesh, LoadMeshes ------------------------------------------------------

void LoadMesh(const std::string& FileName) {
  // A build that draws from the asset pack reads the mesh from it.
  if (const KvAssetPack* Pack = KvActivePack()) {
    const auto Found = Pack->Files.find(KvPackName(FileName));
    if (Found != Pack->Files.end()) {
      std::istringstream Packed(std::string(Found->second.begin(), Found->second.end()));
      std::string ErrorText;
      if (!ParseMesh(Packed, MeshWork, ErrorText))
        FatalError(("[MeshLoader]LoadMesh -> " + Found->first + " " + ErrorText).c_str());
      return;
    }
  }
  const std::string Path = AssetPath(FileName);
  // Looked at non-blocking first: a FIFO in the mesh's place gives its
  // error line instead of stopping the program in open().
  std::string Why;
  const int Check = KvOpenRegularFile(Path, Why);
  if (Check >= 0) close(Check);
  std::ifstream File;
  if (Check >= 0) File.open(Path, std::ios::binary);
  if (!File.is_open()) {
    if (Check >= 0) Why = std::strerror(errno);
    const std::string Line = "[MeshLoader]LoadMesh -> " + Path + ": cannot open the file (" + Why + ")";
    FatalError(Line.c_str());
  }
  std::string ErrorText;
  if (!ParseMesh(File, MeshWork, ErrorText)) {
    const std::string Line = "[MeshLoader]LoadMesh -> " + Path + " " + ErrorText;
    FatalError(Line.c_str());
  }
}

void LoadMeshes() {
  InitStars(0, 0, DisplayWidth, DisplayHeight, 50, 2, 2);
  InitSinCos();
  SetLight(0, 0, 1);
  EyeDistance = 100;
  CullBackFaces = true;
  RotateNormals = true;

  struct Entry {
    ObjRec* Obj;
    const char* File;
  };
  const Entry Table[] = {
#define NERITH_ASSET_Mesh(Name, File) {&Name, File},
#include "../AssetTable.h"
  };
  for (const Entry& E : Table) {
    LoadMesh(E.File);
    *E.Obj = MeshWork;  // shares MeshWork's arrays; the next load gives MeshWork new ones
  }
}
