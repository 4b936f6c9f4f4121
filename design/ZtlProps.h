// ZtlProps: the inspector's editors a driver registers for its string
// properties that name a database file, a client library file or a
// directory: an ellipsis button that opens a chooser on the current value.
#pragma once

#include "framework/designintf/DesignIntf.h"

namespace ztl {

// A database file: the choice is stored with its full path. The dialog
// offers "*.db" files and every file, and refuses a file that does not
// exist; Cancel changes nothing.
class TZantrelDBFileProperty : public TStringProperty {
public:
  using TStringProperty::TStringProperty;
  // paDialog and paRevertable, exactly.
  TPropertyAttributes GetAttributes() const override;
  void Edit() override;
};

// A client library file: only the file name is stored (no directory), so the
// library is found the way the system finds libraries. The dialog offers
// shared libraries and every file.
class TZantrelLibFileProperty : public TStringProperty {
public:
  using TStringProperty::TStringProperty;
  TPropertyAttributes GetAttributes() const override;
  void Edit() override;
};

// A directory, chosen in TZantrelPathDialog; OK stores the dialog's Path
// (what the path edit holds, unchecked), Cancel changes nothing.
class TZantrelPathProperty : public TStringProperty {
public:
  using TStringProperty::TStringProperty;
  TPropertyAttributes GetAttributes() const override;
  void Edit() override;
};

} // namespace ztl
