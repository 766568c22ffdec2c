// Reader for DirectX model files in the text format. The parser pulls tokens one at a time from
// the text and walks the objects with a recursive descent whose depth is capped, so no input can
// exhaust the stack. Every count is checked against the amount of text left before anything is
// allocated, and every index against what it indexes.
#include "platform/xfile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <utility>

#include "platform/files.h"

namespace {

constexpr int kMaxDepth = 64;
// Larger files are refused outright; the game's models are a few kilobytes.
constexpr size_t kMaxFileSize = 64u << 20;

enum class Tok { End, Name, Number, String, Guid, Comma, Semicolon, Open, Close, Other };

struct Token {
  Tok kind = Tok::End;
  std::string_view text;
  int line = 1;
};

const char* Describe(Tok kind) {
  switch (kind) {
    case Tok::End:
      return "end of file";
    case Tok::Name:
      return "name";
    case Tok::Number:
      return "number";
    case Tok::String:
      return "string";
    case Tok::Guid:
      return "GUID";
    case Tok::Comma:
      return "','";
    case Tok::Semicolon:
      return "';'";
    case Tok::Open:
      return "'{'";
    case Tok::Close:
      return "'}'";
    case Tok::Other:
      break;
  }
  return "character";
}

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.';
}

// A failed parse unwinds through every function by returning false; the first message wins.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Run(XMesh& mesh);
  const std::string& Error() const { return error_; }

 private:
  struct Mark {
    size_t pos;
    int line;
  };

  bool Fail(int line, const std::string& what) {
    if (error_.empty()) error_ = "line " + std::to_string(line) + ": " + what;
    return false;
  }
  bool Unexpected(const Token& t, const char* where) {
    std::string got = Describe(t.kind);
    if (t.kind != Tok::End && t.kind != Tok::Open && t.kind != Tok::Close && t.kind != Tok::Comma &&
        t.kind != Tok::Semicolon)
      got += " '" + std::string(t.text.substr(0, 32)) + "'";
    return Fail(t.line, "unexpected " + got + " " + where);
  }

  Mark Save() const { return {pos_, line_}; }
  void Restore(Mark m) {
    pos_ = m.pos;
    line_ = m.line;
  }

  bool Next(Token& t);
  bool Peek(Token& t) {
    Mark m = Save();
    bool ok = Next(t);
    Restore(m);
    return ok;
  }
  size_t Remaining() const { return text_.size() - pos_; }

  bool ReadSeparators(const char* what);
  bool ReadFloat(float& v, const char* what);
  bool ReadUInt(uint32_t& v, const char* what);
  bool ReadCount(uint32_t& v, uint64_t numbersPerItem, const char* what);
  bool ReadVector(XVector& v, const char* what);
  bool ReadPolygons(uint32_t count, uint32_t indexLimit, std::vector<uint32_t>& start,
                    std::vector<uint32_t>& indices, const char* what);

  bool ReadObjectHeader(const Token& type, std::string_view& name, int depth);
  bool ParseObject(const Token& type, int depth, bool topLevel);
  bool WalkBody(int openLine, int depth, bool findMesh);
  bool SkipReference(int openLine);
  bool ParseMesh(int openLine, int depth);
  bool ParseMaterialList(int openLine, int depth);
  bool ParseMaterial(int openLine, int depth, XMaterial& m);
  bool ParseNormals(int openLine, int depth);

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
  std::string error_;

  bool meshFound_ = false;
  bool haveMaterialList_ = false;
  bool haveNormals_ = false;
  XMesh mesh_;
  std::map<std::string, XMaterial, std::less<>> namedMaterials_;
};

bool Parser::Next(Token& t) {
  for (;;) {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else {
        break;
      }
    }
    if (pos_ >= text_.size()) {
      t = {Tok::End, {}, line_};
      return true;
    }
    char c = text_[pos_];
    if (c == '#' || (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/')) {
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      continue;
    }
    break;
  }
  const size_t start = pos_;
  const char c = text_[pos_];
  t.line = line_;
  auto take = [&](Tok kind, size_t len) {
    t.kind = kind;
    t.text = text_.substr(start, len);
    pos_ = start + len;
    return true;
  };
  switch (c) {
    case '{':
      return take(Tok::Open, 1);
    case '}':
      return take(Tok::Close, 1);
    case ',':
      return take(Tok::Comma, 1);
    case ';':
      return take(Tok::Semicolon, 1);
    case '"': {
      size_t end = start + 1;
      int lines = 0;
      while (end < text_.size() && text_[end] != '"') {
        if (text_[end] == '\n') ++lines;
        ++end;
      }
      if (end >= text_.size()) return Fail(t.line, "string not closed");
      line_ += lines;
      return take(Tok::String, end + 1 - start);
    }
    case '<': {
      size_t end = start + 1;
      while (end < text_.size() && end - start < 64 && text_[end] != '>' && text_[end] != '\n')
        ++end;
      if (end >= text_.size() || text_[end] != '>') return Fail(t.line, "GUID not closed");
      return take(Tok::Guid, end + 1 - start);
    }
    default:
      break;
  }
  if (IsNameStart(c)) {
    size_t end = start + 1;
    while (end < text_.size() && IsNameChar(text_[end])) ++end;
    return take(Tok::Name, end - start);
  }
  const bool signedStart = (c == '-' || c == '+');
  size_t p = start + (signedStart ? 1 : 0);
  if (p < text_.size() &&
      (IsDigit(text_[p]) || (text_[p] == '.' && p + 1 < text_.size() && IsDigit(text_[p + 1])))) {
    while (p < text_.size() && IsDigit(text_[p])) ++p;
    if (p < text_.size() && text_[p] == '.') {
      ++p;
      while (p < text_.size() && IsDigit(text_[p])) ++p;
    }
    if (p < text_.size() && (text_[p] == 'e' || text_[p] == 'E')) {
      size_t q = p + 1;
      if (q < text_.size() && (text_[q] == '-' || text_[q] == '+')) ++q;
      if (q < text_.size() && IsDigit(text_[q])) {
        p = q;
        while (p < text_.size() && IsDigit(text_[p])) ++p;
      }
    }
    // A number must end where a separator, a brace, a blank or a comment may begin: "1.2.3",
    // "4x" or "1.#QNAN" are faults, not two tokens.
    if (p < text_.size() && (IsNameChar(text_[p]) || text_[p] == '+' || text_[p] == '#')) {
      size_t end = p;
      while (end < text_.size() &&
             (IsNameChar(text_[end]) || text_[end] == '+' || text_[end] == '#'))
        ++end;
      return Fail(t.line, "bad number '" +
                              std::string(text_.substr(start, std::min<size_t>(end - start, 32))) +
                              "'");
    }
    return take(Tok::Number, p - start);
  }
  return take(Tok::Other, 1);
}

// After a value: one or more ',' / ';', or the '}' that closes the object (left unread).
bool Parser::ReadSeparators(const char* what) {
  Token t;
  if (!Peek(t)) return false;
  if (t.kind == Tok::Close) return true;
  if (t.kind != Tok::Comma && t.kind != Tok::Semicolon)
    return Unexpected(t, (std::string("after a value of ") + what).c_str());
  do {
    Next(t);
    if (!Peek(t)) return false;
  } while (t.kind == Tok::Comma || t.kind == Tok::Semicolon);
  return true;
}

bool Parser::ReadFloat(float& v, const char* what) {
  Token t;
  if (!Next(t)) return false;
  if (t.kind != Tok::Number)
    return Unexpected(t, (std::string("where a number of ") + what + " was expected").c_str());
  std::string_view s = t.text;
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  float value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
    return Fail(t.line, "bad number '" + std::string(t.text.substr(0, 32)) + "' in " + what);
  v = value;
  return ReadSeparators(what);
}

bool Parser::ReadUInt(uint32_t& v, const char* what) {
  Token t;
  if (!Next(t)) return false;
  if (t.kind != Tok::Number)
    return Unexpected(t, (std::string("where an integer of ") + what + " was expected").c_str());
  std::string_view s = t.text;
  if (s[0] == '-') return Fail(t.line, std::string("negative ") + what);
  if (s[0] == '+') s.remove_prefix(1);
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range)
    return Fail(t.line, std::string(what) + " too large: " + std::string(t.text.substr(0, 32)));
  if (ec != std::errc() || end != s.data() + s.size())
    return Fail(t.line,
                std::string(what) + " is not a whole number: " + std::string(t.text.substr(0, 32)));
  v = value;
  return ReadSeparators(what);
}

// A count of items of at least numbersPerItem numbers each. Every number takes at least one
// character and a separator, so a count the rest of the text cannot hold is refused before
// anything is allocated for it.
bool Parser::ReadCount(uint32_t& v, uint64_t numbersPerItem, const char* what) {
  Token count;
  if (!Peek(count)) return false;
  const int line = count.line;  // the count's own line, not that of the token before it
  if (!ReadUInt(v, what)) return false;
  if (numbersPerItem > 0 && static_cast<uint64_t>(v) * numbersPerItem * 2 > Remaining() + 1)
    return Fail(line, std::string(what) + " " + std::to_string(v) +
                          " is more than the rest of the file holds");
  return true;
}

bool Parser::ReadVector(XVector& v, const char* what) {
  return ReadFloat(v.x, what) && ReadFloat(v.y, what) && ReadFloat(v.z, what);
}

bool Parser::ReadPolygons(uint32_t count, uint32_t indexLimit, std::vector<uint32_t>& start,
                          std::vector<uint32_t>& indices, const char* what) {
  start.reserve(static_cast<size_t>(count) + 1);
  start.push_back(0);
  for (uint32_t f = 0; f < count; ++f) {
    int line = line_;
    uint32_t n = 0;
    if (!ReadCount(n, 1, "polygon size")) return false;
    if (n < 3)
      return Fail(line, std::string(what) + " " + std::to_string(f) + " has " + std::to_string(n) +
                            " vertices (at least 3 are needed)");
    if (indices.size() + n > std::numeric_limits<uint32_t>::max())
      return Fail(line, std::string("too many ") + what + " indices");
    for (uint32_t i = 0; i < n; ++i) {
      int indexLine = line_;
      uint32_t index = 0;
      if (!ReadUInt(index, "index")) return false;
      if (index >= indexLimit)
        return Fail(indexLine, std::string(what) + " " + std::to_string(f) + " uses index " +
                                   std::to_string(index) + " of only " +
                                   std::to_string(indexLimit));
      indices.push_back(index);
    }
    start.push_back(static_cast<uint32_t>(indices.size()));
  }
  return true;
}

// Reads the optional name, the '{' and an optional GUID of a data object whose type was read.
bool Parser::ReadObjectHeader(const Token& type, std::string_view& name, int depth) {
  Token t;
  if (!Next(t)) return false;
  name = {};
  if (t.kind == Tok::Name) {
    name = t.text;
    if (!Next(t)) return false;
  }
  if (t.kind != Tok::Open)
    return Unexpected(t,
                      ("after object type '" + std::string(type.text.substr(0, 32)) + "'").c_str());
  if (depth > kMaxDepth)
    return Fail(t.line, "objects nested deeper than " + std::to_string(kMaxDepth) + " levels");
  if (!Peek(t)) return false;
  if (t.kind == Tok::Guid) Next(t);
  return true;
}

// The body of an object this reader does not interpret: everything up to its '}', looking into
// nested objects for the first Mesh when findMesh is set.
bool Parser::WalkBody(int openLine, int depth, bool findMesh) {
  for (;;) {
    Token t;
    if (!Next(t)) return false;
    switch (t.kind) {
      case Tok::Close:
        return true;
      case Tok::End:
        return Fail(t.line,
                    "file ends inside the object opened at line " + std::to_string(openLine));
      case Tok::Open:
        if (depth + 1 > kMaxDepth)
          return Fail(t.line,
                      "objects nested deeper than " + std::to_string(kMaxDepth) + " levels");
        if (!WalkBody(t.line, depth + 1, false)) return false;
        break;
      case Tok::Name: {
        Mark m = Save();
        Token u;
        if (!Next(u)) return false;
        if (u.kind == Tok::Name && !Next(u)) return false;
        Restore(m);
        if (u.kind == Tok::Open) {
          if (findMesh) {
            if (!ParseObject(t, depth + 1, false)) return false;
          } else {
            std::string_view name;
            int line = t.line;
            if (!ReadObjectHeader(t, name, depth + 1) || !WalkBody(line, depth + 1, false))
              return false;
          }
        }
        break;
      }
      default:
        break;
    }
  }
}

bool Parser::SkipReference(int openLine) {
  Token t;
  if (!Next(t)) return false;
  if (t.kind == Tok::Name && !Next(t)) return false;
  if (t.kind == Tok::Guid && !Next(t)) return false;
  if (t.kind != Tok::Close)
    return Unexpected(t, ("in the reference at line " + std::to_string(openLine)).c_str());
  return true;
}

bool Parser::ParseObject(const Token& type, int depth, bool topLevel) {
  std::string_view name;
  const int line = type.line;
  if (!ReadObjectHeader(type, name, depth)) return false;
  if (type.text == "template") return WalkBody(line, depth, false);
  if (type.text == "Mesh" && !meshFound_) return ParseMesh(line, depth);
  if (type.text == "Material" && topLevel && !meshFound_) {
    XMaterial m;
    if (!ParseMaterial(line, depth, m)) return false;
    if (!name.empty()) namedMaterials_.insert_or_assign(std::string(name), m);
    return true;
  }
  return WalkBody(line, depth, !meshFound_);
}

bool Parser::ParseMesh(int openLine, int depth) {
  meshFound_ = true;
  XMesh& m = mesh_;
  uint32_t nVertices = 0;
  if (!ReadCount(nVertices, 3, "vertex count")) return false;
  m.vertices.resize(nVertices);
  for (auto& v : m.vertices)
    if (!ReadVector(v, "a vertex")) return false;
  uint32_t nFaces = 0;
  if (!ReadCount(nFaces, 4, "face count")) return false;
  if (!ReadPolygons(nFaces, nVertices, m.faceStart, m.faceIndices, "face")) return false;

  for (;;) {
    Token t;
    if (!Next(t)) return false;
    if (t.kind == Tok::Close) break;
    if (t.kind == Tok::End)
      return Fail(t.line, "file ends inside the Mesh opened at line " + std::to_string(openLine));
    if (t.kind == Tok::Open) {
      if (!SkipReference(t.line)) return false;
      continue;
    }
    if (t.kind != Tok::Name) return Unexpected(t, "in Mesh");
    std::string_view name;
    const int line = t.line;
    if (!ReadObjectHeader(t, name, depth + 1)) return false;
    if (t.text == "MeshMaterialList") {
      if (haveMaterialList_) return Fail(line, "second MeshMaterialList in Mesh");
      if (!ParseMaterialList(line, depth + 1)) return false;
    } else if (t.text == "MeshNormals") {
      if (haveNormals_) return Fail(line, "second MeshNormals in Mesh");
      if (!ParseNormals(line, depth + 1)) return false;
    } else if (!WalkBody(line, depth + 1, false)) {
      return false;
    }
  }
  if (!haveMaterialList_) {
    m.materials.assign(1, XMaterial{});
    m.faceMaterial.assign(m.FaceCount(), 0);
  }
  return true;
}

bool Parser::ParseMaterialList(int openLine, int depth) {
  haveMaterialList_ = true;
  XMesh& m = mesh_;
  const size_t nFaces = m.FaceCount();
  uint32_t nMaterials = 0, nIndices = 0;
  int line = line_;
  // A material takes at least a reference "{a}", more than one number's worth of text.
  if (!ReadCount(nMaterials, 1, "material count")) return false;
  Token count;
  if (!Peek(count)) return false;
  line = count.line;
  if (!ReadCount(nIndices, 1, "material face count")) return false;
  if (nIndices != nFaces && nIndices != 1)
    return Fail(line, "material list gives " + std::to_string(nIndices) + " face materials for " +
                          std::to_string(nFaces) + " faces");
  std::vector<uint32_t> indices(nIndices);
  for (auto& index : indices) {
    int indexLine = line_;
    if (!ReadUInt(index, "material index")) return false;
    if (index >= nMaterials)
      return Fail(indexLine, "material index " + std::to_string(index) + " of only " +
                                 std::to_string(nMaterials) + " materials");
  }
  std::vector<XMaterial> materials;
  materials.reserve(nMaterials);
  for (;;) {
    Token t;
    if (!Next(t)) return false;
    if (t.kind == Tok::Close) break;
    if (t.kind == Tok::End)
      return Fail(t.line, "file ends inside the MeshMaterialList opened at line " +
                              std::to_string(openLine));
    if (t.kind == Tok::Open) {
      Token r;
      if (!Next(r)) return false;
      if (r.kind != Tok::Name) return Unexpected(r, "where a material name was expected");
      auto found = namedMaterials_.find(r.text);
      if (found == namedMaterials_.end())
        return Fail(r.line, "no material named '" + std::string(r.text.substr(0, 32)) +
                                "' before this reference");
      if (!Next(r)) return false;
      if (r.kind == Tok::Guid && !Next(r)) return false;
      if (r.kind != Tok::Close) return Unexpected(r, "in a material reference");
      if (materials.size() >= nMaterials)
        return Fail(t.line, "more materials than the " + std::to_string(nMaterials) + " announced");
      materials.push_back(found->second);
      continue;
    }
    if (t.kind != Tok::Name) return Unexpected(t, "in MeshMaterialList");
    std::string_view name;
    const int objectLine = t.line;
    if (!ReadObjectHeader(t, name, depth + 1)) return false;
    if (t.text == "Material") {
      if (materials.size() >= nMaterials)
        return Fail(objectLine,
                    "more materials than the " + std::to_string(nMaterials) + " announced");
      XMaterial mat;
      if (!ParseMaterial(objectLine, depth + 1, mat)) return false;
      materials.push_back(mat);
    } else if (!WalkBody(objectLine, depth + 1, false)) {
      return false;
    }
  }
  if (materials.size() != nMaterials)
    return Fail(openLine, "MeshMaterialList announces " + std::to_string(nMaterials) +
                              " materials but has " + std::to_string(materials.size()));
  m.materials = std::move(materials);
  if (nIndices == nFaces)
    m.faceMaterial = std::move(indices);
  else
    m.faceMaterial.assign(nFaces, indices[0]);
  return true;
}

bool Parser::ParseMaterial(int openLine, int depth, XMaterial& mat) {
  if (!ReadFloat(mat.r, "a material") || !ReadFloat(mat.g, "a material") ||
      !ReadFloat(mat.b, "a material") || !ReadFloat(mat.a, "a material") ||
      !ReadFloat(mat.power, "a material") || !ReadVector(mat.specular, "a material") ||
      !ReadVector(mat.emissive, "a material"))
    return false;
  for (;;) {
    Token t;
    if (!Next(t)) return false;
    if (t.kind == Tok::Close) return true;
    if (t.kind == Tok::End)
      return Fail(t.line,
                  "file ends inside the Material opened at line " + std::to_string(openLine));
    if (t.kind == Tok::Open) {
      if (!SkipReference(t.line)) return false;
      continue;
    }
    if (t.kind != Tok::Name) return Unexpected(t, "in Material");
    // TextureFilename and anything else inside a material is read over and ignored.
    std::string_view name;
    const int line = t.line;
    if (!ReadObjectHeader(t, name, depth + 1) || !WalkBody(line, depth + 1, false)) return false;
  }
}

bool Parser::ParseNormals(int openLine, int depth) {
  haveNormals_ = true;
  XMesh& m = mesh_;
  uint32_t nNormals = 0;
  if (!ReadCount(nNormals, 3, "normal count")) return false;
  m.normals.resize(nNormals);
  for (auto& n : m.normals)
    if (!ReadVector(n, "a normal")) return false;
  const int line = line_;
  uint32_t nFaces = 0;
  if (!ReadCount(nFaces, 4, "normal face count")) return false;
  if (nFaces != m.FaceCount())
    return Fail(line, "MeshNormals gives " + std::to_string(nFaces) + " faces for " +
                          std::to_string(m.FaceCount()) + " in the mesh");
  std::vector<uint32_t> start;
  if (!ReadPolygons(nFaces, nNormals, start, m.normalIndices, "normal face")) return false;
  if (start != m.faceStart)
    for (size_t f = 0; f < nFaces; ++f)
      if (start[f + 1] - start[f] != m.faceStart[f + 1] - m.faceStart[f])
        return Fail(line, "normal face " + std::to_string(f) + " has " +
                              std::to_string(start[f + 1] - start[f]) + " corners, the face " +
                              std::to_string(m.faceStart[f + 1] - m.faceStart[f]));
  for (;;) {
    Token t;
    if (!Next(t)) return false;
    if (t.kind == Tok::Close) return true;
    if (t.kind == Tok::End)
      return Fail(t.line,
                  "file ends inside the MeshNormals opened at line " + std::to_string(openLine));
    if (t.kind != Tok::Name) return Unexpected(t, "in MeshNormals");
    std::string_view name;
    const int objectLine = t.line;
    if (!ReadObjectHeader(t, name, depth + 1) || !WalkBody(objectLine, depth + 1, false))
      return false;
  }
}

bool Parser::Run(XMesh& mesh) {
  static constexpr size_t kHeaderSize = 16;
  if (text_.size() < kHeaderSize || text_.substr(0, 4) != "xof ")
    return Fail(1, "not a DirectX model file (no \"xof \" header)");
  std::string_view version = text_.substr(4, 4), format = text_.substr(8, 4),
                   floatSize = text_.substr(12, 4);
  if (version.substr(0, 2) != "03" || !IsDigit(version[2]) || !IsDigit(version[3]))
    return Fail(1, "unsupported file version '" + std::string(version) + "'");
  if (format == "bin ") return Fail(1, "binary model files are not supported");
  if (format == "tzip" || format == "bzip")
    return Fail(1, "compressed model files are not supported");
  if (format != "txt ") return Fail(1, "unknown file format '" + std::string(format) + "'");
  if (floatSize != "0032" && floatSize != "0064")
    return Fail(1, "unknown float size '" + std::string(floatSize) + "'");
  pos_ = kHeaderSize;

  for (;;) {
    Token t;
    if (!Next(t)) return false;
    if (t.kind == Tok::End) break;
    if (t.kind == Tok::Name) {
      if (!ParseObject(t, 1, true)) return false;
    } else if (t.kind == Tok::Open) {
      if (!SkipReference(t.line)) return false;
    } else if (t.kind == Tok::Close) {
      return Fail(t.line, "'}' without a matching '{'");
    } else {
      return Unexpected(t, "between objects");
    }
  }
  if (!meshFound_) return Fail(line_, "no Mesh in the file");
  mesh = std::move(mesh_);
  return true;
}

}  // namespace

bool ParseXFile(std::string_view text, XMesh& out, std::string* error) {
  out = XMesh{};
  Parser parser(text);
  XMesh mesh;
  // Any error recorded fails the file, even where a caller went on after it.
  if (!parser.Run(mesh) || !parser.Error().empty()) {
    if (error) *error = parser.Error();
    return false;
  }
  out = std::move(mesh);
  if (error) error->clear();
  return true;
}

bool ReadXFile(const char* path, XMesh& out, std::string* error) {
  out = XMesh{};
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  if (!path) return fail("no file name");
  const char* why = nullptr;
  std::FILE* f = OpenRegularFileStream(path, &why);
  if (!f) return fail(std::string(path) + ": " + why);
  std::string text;
  char buffer[16384];
  bool ok = true;
  for (;;) {
    size_t n = std::fread(buffer, 1, sizeof buffer, f);
    if (text.size() + n > kMaxFileSize) {
      std::fclose(f);
      return fail(std::string(path) + ": file too large");
    }
    text.append(buffer, n);
    if (n < sizeof buffer) {
      ok = !std::ferror(f);
      break;
    }
  }
  std::fclose(f);
  if (!ok) return fail(std::string(path) + ": cannot be read");
  std::string message;
  if (!ParseXFile(text, out, &message)) return fail(std::string(path) + ": " + message);
  if (error) error->clear();
  return true;
}
