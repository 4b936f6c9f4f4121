// The recording test driver's query dataset: a dataset over the recording
// cursor, with the conversions between that cursor's row format and the
// framework's field data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "dataset/ZtlCustomDataset.h"
#include "tests/support/RecordingCursor.h"

namespace ztl {

// Converts the column described by Def from the recording cursor's row
// format at Source into the framework's field data format at Dest (room for
// DestSize bytes), and back. Binary columns have no length word in this row
// format, so a field sees all but the last two bytes of one (the field of a
// binary column is two bytes shorter than the column). Shared by every
// recording dataset class.
void RecordingReadFieldData(const TZantrelFieldDef& Def, const std::uint8_t* Source, void* Dest,
                            std::size_t DestSize);
void RecordingWriteFieldData(const TZantrelFieldDef& Def, std::uint8_t* Dest, const void* Source,
                             std::size_t DataSize);

// A recording cursor linked to Session, or writing to a fresh log when there
// is none. Shared by every recording dataset class's CreateSQL.
std::unique_ptr<TRecordingSQL> NewRecordingSQL(TRecordingSession* Session);

// The query dataset of the recording driver, and the example a driver author
// reads: CreateSQL makes the driver's cursor, ReadFieldData and WriteFieldData
// convert column values, and the constructor ends with ConstructSQL.
//
// Its own cursor is linked to the session given at construction and writes
// to that session's log (to a fresh log without one); later cursors are
// linked to the dataset's session of the moment.
class TRecordingDataset : public TZantrelCustomDataset {
public:
  explicit TRecordingDataset(TComponent* AOwner = nullptr, TRecordingSession* ASession = nullptr);
  ~TRecordingDataset() override;

  // The dataset's own cursor.
  TRecordingSQL& GetRecordingSQL() const;
  TRecordingLog& GetLog() const { return GetRecordingSQL().GetLog(); }

  // Called with every cursor CreateSQL makes after the dataset's own (the
  // helper cursors of key searches and stored procedures), so a test can
  // give it a result.
  std::function<void(TRecordingSQL&)> OnCreateSQL;

  // The record engine's inner workings, open to tests.
  using TZantrelDataset::AllocRecordBuffer;
  using TZantrelDataset::BookmarkOffset;
  using TZantrelDataset::Check;
  using TZantrelDataset::CreateParams;
  using TZantrelDataset::FilterBuffer;
  using TZantrelDataset::FreeRecordBuffer;
  using TZantrelDataset::GetBookmarkData;
  using TZantrelDataset::GetBookmarkFlag;
  using TZantrelDataset::GetParamValues;
  using TZantrelDataset::GetRecord;
  using TZantrelDataset::GetRecordSize;
  using TZantrelDataset::InitRecord;
  using TZantrelDataset::NullOffset;
  using TZantrelDataset::OldRecordBuffer;
  using TZantrelDataset::RecordBufferSize;
  using TZantrelDataset::SetDBFlag;

protected:
  std::unique_ptr<TZantrelSQL> CreateSQL() override;
  void ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) override;
  void WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) override;

private:
  TRecordingSession* InitialSession; // session of the first cursor; only while constructing
};

} // namespace ztl
