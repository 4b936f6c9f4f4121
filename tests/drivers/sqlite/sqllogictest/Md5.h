// MD5 (RFC 1321), which the sqllogictest format uses to give large results
// as one line. Only for comparing test results; no security rests on it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace ztl {

class TMd5 {
public:
  TMd5() {
    for (int I = 0; I < 64; ++I)
      K[static_cast<std::size_t>(I)] =
          static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(I + 1.0)) * 4294967296.0));
  }

  void Update(const void* Data, std::size_t Size) {
    const auto* P = static_cast<const std::uint8_t*>(Data);
    Length += Size;
    while (Size > 0) {
      const std::size_t Take = std::min(Size, Block.size() - Used);
      std::memcpy(Block.data() + Used, P, Take);
      Used += Take;
      P += Take;
      Size -= Take;
      if (Used == Block.size()) {
        Transform();
        Used = 0;
      }
    }
  }

  // The digest as 32 lower-case hex digits; the object is spent afterwards.
  std::string HexDigest() {
    const std::uint64_t Bits = Length * 8;
    const std::uint8_t Pad = 0x80;
    Update(&Pad, 1);
    const std::uint8_t Zero = 0;
    while (Used != 56)
      Update(&Zero, 1);
    std::uint8_t LengthBytes[8];
    for (int I = 0; I < 8; ++I)
      LengthBytes[I] = static_cast<std::uint8_t>(Bits >> (8 * I));
    Update(LengthBytes, 8);
    static const char Hex[] = "0123456789abcdef";
    std::string Out;
    for (const std::uint32_t Word : State)
      for (int I = 0; I < 4; ++I) {
        const unsigned Byte = (Word >> (8 * I)) & 0xFF;
        Out += Hex[Byte >> 4];
        Out += Hex[Byte & 15];
      }
    return Out;
  }

private:
  static std::uint32_t Rotate(std::uint32_t X, int N) { return (X << N) | (X >> (32 - N)); }

  void Transform() {
    static constexpr int Shift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                      5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                      4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                      6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::uint32_t M[16];
    for (int I = 0; I < 16; ++I)
      M[I] = static_cast<std::uint32_t>(Block[4 * I]) |
             static_cast<std::uint32_t>(Block[4 * I + 1]) << 8 |
             static_cast<std::uint32_t>(Block[4 * I + 2]) << 16 |
             static_cast<std::uint32_t>(Block[4 * I + 3]) << 24;
    std::uint32_t A = State[0], B = State[1], C = State[2], D = State[3];
    for (int I = 0; I < 64; ++I) {
      std::uint32_t F;
      int G;
      if (I < 16) {
        F = (B & C) | (~B & D);
        G = I;
      } else if (I < 32) {
        F = (D & B) | (~D & C);
        G = (5 * I + 1) % 16;
      } else if (I < 48) {
        F = B ^ C ^ D;
        G = (3 * I + 5) % 16;
      } else {
        F = C ^ (B | ~D);
        G = (7 * I) % 16;
      }
      const std::uint32_t Next = D;
      D = C;
      C = B;
      B = B + Rotate(A + F + K[static_cast<std::size_t>(I)] + M[G], Shift[I]);
      A = Next;
    }
    State[0] += A;
    State[1] += B;
    State[2] += C;
    State[3] += D;
  }

  std::array<std::uint32_t, 64> K{};                                   // sine-derived constants
  std::array<std::uint32_t, 4> State{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}; // A B C D
  std::array<std::uint8_t, 64> Block{};                                // the block being filled
  std::size_t Used = 0;                                                // bytes in Block
  std::uint64_t Length = 0;                                            // bytes hashed
};

} // namespace ztl
