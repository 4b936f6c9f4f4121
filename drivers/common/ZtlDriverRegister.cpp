// Registration of the abstract driver bases for form files.
#include "drivers/common/ZtlDriverRegister_p.h"

namespace ztl {

void ZtlRegisterDriverBases() {
  if (!FindClassInfo(typeid(TZantrelSession)))
    RegisterClass<TZantrelSession, TComponent>();
  if (!FindClassInfo(typeid(TZantrelSQL))) {
    RegisterClass<TZantrelSQL, TComponent>();
    RegisterProperty<TZantrelSQL>("Session", &TZantrelSQL::GetSessionObject,
                                  &TZantrelSQL::SetSession);
  }
}

} // namespace ztl
