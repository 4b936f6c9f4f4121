// Helpers shared by the parameter suites: bytes as readable hex and back, and
// a one-record dataset that gives framework fields a value to hold.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "framework/db/DataSet.h"

namespace ztl::test {

// "01 FF 7F" for the bytes 0x01 0xFF 0x7F.
inline std::string Hex(const std::string& Bytes) {
  std::string Out;
  char Buf[4];
  for (unsigned char C : Bytes) {
    std::snprintf(Buf, sizeof(Buf), Out.empty() ? "%02X" : " %02X", C);
    Out += Buf;
  }
  return Out;
}

// The bytes of a hex text; blanks and commas between pairs are ignored.
inline std::string Unhex(const std::string& Text) {
  std::string Out;
  std::string Digits;
  for (char C : Text)
    if (C != ' ' && C != ',')
      Digits += C;
  for (std::size_t I = 0; I + 1 < Digits.size(); I += 2)
    Out += static_cast<char>(std::stoi(Digits.substr(I, 2), nullptr, 16));
  return Out;
}

// A dataset holding one record in a map from field to its data-format
// bytes, enough for fields to be read, written and cleared while inactive.
class TOneRecordDataSet : public TDataSet {
public:
  TOneRecordDataSet() : TDataSet(nullptr) {}
  ~TOneRecordDataSet() override { Close(); }

  bool GetFieldData(TField* Field, void* Buffer) override {
    const auto It = Values.find(Field);
    if (It == Values.end())
      return false;
    if (Buffer && !It->second.empty())
      std::memcpy(Buffer, It->second.data(), It->second.size());
    return true;
  }
  void SetFieldData(TField* Field, const void* Buffer) override {
    if (!Buffer) {
      Values.erase(Field);
      return;
    }
    const auto* Bytes = static_cast<const std::uint8_t*>(Buffer);
    Values[Field].assign(Bytes, Bytes + Field->DataSize());
  }

protected:
  TRecordBuffer AllocRecordBuffer() override { return nullptr; }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override { Buffer = nullptr; }
  TGetResult GetRecord(TRecordBuffer, TGetMode, bool) override { return grEOF; }
  std::size_t GetRecordSize() override { return 0; }
  void InternalOpen() override {}
  void InternalClose() override {}
  void InternalInitFieldDefs() override {}
  bool IsCursorOpen() override { return false; }
  void InternalFirst() override {}
  void InternalLast() override {}
  void InternalGotoBookmark(const std::uint8_t*) override {}
  void GetBookmarkData(TRecordBuffer, std::uint8_t*) override {}
  void SetBookmarkData(TRecordBuffer, const std::uint8_t*) override {}
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer) override { return bfCurrent; }
  void SetBookmarkFlag(TRecordBuffer, TBookmarkFlag) override {}
  void InternalInitRecord(TRecordBuffer) override {}
  void InternalPost() override {}
  void InternalDelete() override {}

private:
  std::map<TField*, std::vector<std::uint8_t>> Values; // fields holding a value
};

} // namespace ztl::test
