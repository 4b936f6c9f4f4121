// Root object and the small-set type shared by the whole framework.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace ztl {

// Root of every framework class that is handled through a base pointer
// (components, streams, persistent objects). ClassName is the name a class is
// known by in form files; it defaults to the C++ name without its namespace.
class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;

  virtual std::string ClassName() const;
};

// A set of enumeration values with at most 64 members, in the manner of the
// framework's set types: [a, b] is Set<E>{a, b}.
template <class E>
class Set {
  static_assert(std::is_enum_v<E>, "Set holds enumeration values");

public:
  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> Items) {
    for (E Item : Items)
      Bits |= Bit(Item);
  }

  constexpr bool Contains(E Item) const { return (Bits & Bit(Item)) != 0; }
  constexpr Set& Include(E Item) {
    Bits |= Bit(Item);
    return *this;
  }
  constexpr Set& Exclude(E Item) {
    Bits &= ~Bit(Item);
    return *this;
  }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr std::uint64_t ToBits() const { return Bits; }
  static constexpr Set FromBits(std::uint64_t Value) {
    Set S;
    S.Bits = Value;
    return S;
  }

  constexpr Set operator+(Set Other) const { return FromBits(Bits | Other.Bits); }
  constexpr Set operator-(Set Other) const { return FromBits(Bits & ~Other.Bits); }
  constexpr Set operator*(Set Other) const { return FromBits(Bits & Other.Bits); }
  constexpr bool operator==(const Set& Other) const = default;

private:
  static constexpr std::uint64_t Bit(E Item) {
    return std::uint64_t{1} << static_cast<unsigned>(Item);
  }
  std::uint64_t Bits = 0; // bit n set: the value with ordinal n is a member
};

} // namespace ztl
