// What the dataset model's suites share: the one Qt application of the test
// program.
#pragma once

#include <QApplication>

namespace ztl::test {

// Makes the application object on first use; it lives as long as the
// process, as Qt wants its arguments to.
inline void NeedQtApplication() {
  if (QCoreApplication::instance())
    return;
  static int Argc = 1;
  static char Name[] = "ztl-qtdata-test";
  static char* Argv[] = {Name, nullptr};
  new QApplication(Argc, Argv);
}

} // namespace ztl::test
