// The messages' bytes.
#include "net/protocol.h"

#include <cstring>

namespace net {

namespace {

constexpr uint8_t Magic[4] = {'G', 'R', 'N', 'K'};

struct Writer {
  uint8_t* at;
  void Byte(uint8_t v) { *at++ = v; }
  void U16(uint16_t v) {
    for (int i = 0; i < 2; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  void U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
};

struct Reader {
  const uint8_t* at;
  const uint8_t* end;
  bool ok = true;
  bool Has(size_t n) {
    ok = ok && static_cast<size_t>(end - at) >= n;
    return ok;
  }
  uint64_t Le(int bytes) {
    if (!Has(static_cast<size_t>(bytes))) return 0;
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(*at++) << (8 * i);
    return v;
  }
  uint8_t Byte() { return static_cast<uint8_t>(Le(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Le(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Le(4)); }
  uint64_t U64() { return Le(8); }
};

bool HasVersion(Kind kind) {
  return kind == Kind::Hello || kind == Kind::Welcome || kind == Kind::Refuse;
}

}  // namespace

size_t Encode(const Message& m, uint8_t* out) {
  Writer w{out};
  w.Byte(static_cast<uint8_t>(m.kind));
  if (HasVersion(m.kind)) {
    for (uint8_t c : Magic) w.Byte(c);
    w.U16(m.protocol);
    const size_t length = strnlen(m.version, VersionLength - 1);
    w.Byte(static_cast<uint8_t>(length));
    std::memcpy(w.at, m.version, length);
    w.at += length;
  } else if (m.kind == Kind::Start) {
    w.U32(m.randomState);
    w.Byte(m.delay);
    w.Byte(m.match);
  } else if (m.kind == Kind::Inputs) {
    w.U32(m.tick);
    w.U32(m.wanted);
    w.U32(m.frame);
    w.Byte(m.count);
    for (int i = 0; i < m.count && i < MaxWords; ++i) w.U16(m.words[i]);
    w.Byte(m.match);
  } else if (m.kind == Kind::Hash) {
    w.U32(m.tick);
    w.U64(m.hash);
  } else if (m.kind == Kind::Delay) {
    w.Byte(m.delay);
  } else if (m.kind == Kind::Desync) {
    w.U32(m.tick);
  }
  return static_cast<size_t>(w.at - out);
}

bool Decode(const uint8_t* data, size_t size, Message* out) {
  if (size == 0 || size > MaxPacket) return false;
  Reader r{data, data + size};
  Message m;
  const uint8_t kind = r.Byte();
  if (kind < static_cast<uint8_t>(Kind::Hello) || kind > static_cast<uint8_t>(Kind::Desync))
    return false;
  m.kind = static_cast<Kind>(kind);
  auto delayOk = [](uint8_t d) { return d >= MinDelay && d <= MaxDelay; };
  if (HasVersion(m.kind)) {
    if (!r.Has(sizeof Magic) || std::memcmp(r.at, Magic, sizeof Magic) != 0) return false;
    r.at += sizeof Magic;
    m.protocol = r.U16();
    const uint8_t length = r.Byte();
    if (length >= VersionLength || !r.Has(length)) return false;
    for (uint8_t i = 0; i < length; ++i) {
      const uint8_t c = *r.at++;
      if (c < 0x20 || c > 0x7E) return false;
      m.version[i] = static_cast<char>(c);
    }
  } else if (m.kind == Kind::Start) {
    m.randomState = r.U32();
    m.delay = r.Byte();
    if (!delayOk(m.delay)) return false;
    m.match = r.Byte();
  } else if (m.kind == Kind::Inputs) {
    m.tick = r.U32();
    m.wanted = r.U32();
    m.frame = r.U32();
    m.count = r.Byte();
    if (m.count > MaxWords) return false;  // none: an acknowledgement alone
    // The frame numbers of a match stay far below the end of their range.
    if (m.tick > UINT32_MAX / 2 || m.wanted > UINT32_MAX / 2 || m.frame > UINT32_MAX / 2)
      return false;
    for (int i = 0; i < m.count; ++i) m.words[i] = r.U16();
    m.match = r.Byte();
  } else if (m.kind == Kind::Hash) {
    m.tick = r.U32();
    m.hash = r.U64();
  } else if (m.kind == Kind::Delay) {
    m.delay = r.Byte();
    if (!delayOk(m.delay)) return false;
  } else if (m.kind == Kind::Desync) {
    m.tick = r.U32();
  }
  if (!r.ok || r.at != r.end) return false;
  *out = m;
  return true;
}

}  // namespace net
