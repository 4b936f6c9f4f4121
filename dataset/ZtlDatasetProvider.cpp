// The dataset's provider operations: transactions over its session, its
// parameters as the provider's list, update errors carrying the driver's
// code, and the answers a provider asks of an SQL dataset.
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "dataset/ZtlCleanup_p.h"
#include "dataset/ZtlDataset.h"
#include "framework/db/DBParams.h"

namespace ztl {

namespace {

// The provider's direction for a parameter's direction.
TParamType ProviderParamType(TZantrelParamType Type) {
  switch (Type) {
  case nptInput:
    return ptInput;
  case nptInputOutput:
    return ptInputOutput;
  case nptOutput:
    return ptOutput;
  case nptResult:
    return ptResult;
  default:
    return ptUnknown;
  }
}

} // namespace

// Holds the session for the transaction first, so that starting it finds a
// connection. When the start fails, only the hold this call took is given
// back: a second start inside a running transaction fails, and dropping the
// running transaction's hold could disconnect the session and lose its work.
void TZantrelDataset::PSStartTransaction() {
  const bool WasHeld = SetDBFlag(dfTransaction, true);
  try {
    if (TZantrelSession* S = GetSession())
      S->StartTransaction();
  } catch (...) {
    if (!WasHeld)
      ZtlReleaseAfterFailure(this, [this] { SetDBFlag(dfTransaction, false); });
    throw;
  }
}

// Ends the transaction and releases its hold on the session, also when the
// commit or rollback fails.
void TZantrelDataset::PSEndTransaction(bool Commit) {
  try {
    if (TZantrelSession* S = GetSession()) {
      if (Commit)
        S->Commit();
      else
        S->Rollback();
    }
  } catch (...) {
    ZtlReleaseAfterFailure(this, [this] { SetDBFlag(dfTransaction, false); });
    throw;
  }
  SetDBFlag(dfTransaction, false);
}

bool TZantrelDataset::PSInTransaction() {
  const TZantrelSession* S = GetSession();
  return S && S->GetInTransaction();
}

// Rebuilds the provider's list from Params on every call; the dataset owns
// the list. A null parameter reaches the provider as Null: its stored value
// (the integer 0 of a cleared parameter) is not a value the user gave.
TParams* TZantrelDataset::PSGetParams() {
  ProviderParams->Clear();
  for (int I = 0; I < Params->Count(); ++I) {
    const TZantrelParam* P = Params->GetParam(I);
    TParam& Item =
        ProviderParams->CreateParam(ftUnknown, P->GetName(), ProviderParamType(P->GetParamType()));
    Item.SetValue(P->IsNull() ? Variant::Null() : P->GetAsVariant());
  }
  return ProviderParams.get();
}

// A list with parameters replaces Params; an empty or missing one keeps
// them. The dataset is closed either way, so that the next open runs the
// statement with the values now in Params.
void TZantrelDataset::PSSetParams(TParams* AParams) {
  if (AParams && AParams->Count() > 0)
    Params->Assign(*AParams);
  Close();
}

std::string TZantrelDataset::PSGetQuoteChar() {
  return "\"";
}

bool TZantrelDataset::PSIsSQLBased() {
  return true;
}

bool TZantrelDataset::PSIsSQLSupported() {
  return true;
}

// A dataset error carries the driver's code into the update error; other
// exceptions take the framework's path.
std::unique_ptr<EUpdateError> TZantrelDataset::PSGetUpdateException(std::exception_ptr E,
                                                                    const EUpdateError* Prev) {
  if (E) {
    try {
      std::rethrow_exception(E);
    } catch (const EZantrelDatasetError& Error) {
      return std::make_unique<EUpdateError>(Error.GetMessage(), std::string(), Error.GetErrorCode(),
                                            Prev ? Prev->ErrorCode() : 0, E);
    } catch (...) {
    }
  }
  return TDataSet::PSGetUpdateException(std::move(E), Prev);
}

// Re-reads the open result so that the provider sees the rows as they are
// now. A stored procedure with result sets still pending cannot run again
// without losing them, so its result is left as it is. The record window is
// fetched again from the re-executed cursor: rows kept from the old result
// would be shown, and scrolling would continue from where the framework
// believes the cursor stands rather than where it is.
void TZantrelDataset::PSReset() {
  TDataSet::PSReset();
  if (IsCursorOpen() && !GetStillInProc()) {
    RefreshCursor(nullptr, nullptr, bfCurrent);
    Resync({});
  }
}

} // namespace ztl
