// ztl-designer: opens, inspects, edits and saves form files.
//
//   ztl-designer [--packages DIR] [--package FILE]... [--ancestor FILE]
//                [--select NAME] [--screenshot OUT.png] [FILE]
//
// Packages come from a package folder (--packages, else $ZTL_PACKAGES, else
// the folder installed beside the program, else the build's) and from each
// --package file. --screenshot renders the window with FILE open (and the component NAME
// selected), without a display, and exits.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/widgets/Widgets.h"
#include "package/ZtlPackageLoader.h"
#include "tools/designer/DesignerDocument.h"
#include "tools/designer/DesignerWindow.h"

namespace {

int Usage() {
  std::cerr << "usage: ztl-designer [--packages DIR] [--package FILE]... [--ancestor FILE]\n"
               "                    [--select NAME] [--screenshot OUT.png] [FILE]\n";
  return 2;
}

QString DefaultPackageFolder() {
  if (const char* Env = std::getenv("ZTL_PACKAGES"); Env && *Env)
    return Env;
  // Relative to the program, so an installed tree still finds its packages when moved.
  const QString Installed = QCoreApplication::applicationDirPath() + "/" ZTL_INSTALL_PACKAGE_DIR;
  if (QFileInfo(Installed).isDir())
    return Installed;
  return ZTL_BUILD_PACKAGE_DIR;
}

} // namespace

int main(int argc, char** argv) {
  std::string Folder, Ancestor, Screenshot, Select, File;
  std::vector<std::string> PackageFiles;
  for (int I = 1; I < argc; ++I) {
    const std::string Arg = argv[I];
    const bool HasValue = I + 1 < argc;
    if (Arg == "--packages" && HasValue)
      Folder = argv[++I];
    else if (Arg == "--package" && HasValue)
      PackageFiles.push_back(argv[++I]);
    else if (Arg == "--ancestor" && HasValue)
      Ancestor = argv[++I];
    else if (Arg == "--select" && HasValue)
      Select = argv[++I];
    else if (Arg == "--screenshot" && HasValue)
      Screenshot = argv[++I];
    else if (Arg == "--help" || Arg == "-h")
      return Usage(), 0;
    else if (File.empty() && !Arg.empty() && Arg[0] != '-')
      File = Arg;
    else
      return Usage();
  }
  // A screenshot needs no display.
  if (!Screenshot.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  ztl::UseWidgets(); // the packages' dialogs are framework forms

  ztl::designer::TDesignerWindow Window(Screenshot.empty());
  int Status = 0;
  const auto Folders = ztl::LoadZtlPackageFolder(
      Folder.empty() ? DefaultPackageFolder().toStdString() : Folder);
  for (const std::string& Error : Folders.Errors) {
    std::cerr << "ztl-designer: " << Error << '\n';
    Status = 1;
  }
  for (const std::string& PackageFile : PackageFiles) {
    try {
      ztl::LoadZtlPackage(PackageFile);
    } catch (const std::exception& E) {
      std::cerr << "ztl-designer: " << E.what() << '\n';
      Status = 1;
    }
  }
  for (const ztl::TZtlLoadedPackage* Package : ztl::LoadedZtlPackages())
    Window.AddPackage(*Package->Info);

  if (!File.empty() && !Window.OpenFile(QString::fromStdString(File), QString::fromStdString(Ancestor))) {
    std::cerr << "ztl-designer: " << Window.LastError() << '\n';
    if (!Screenshot.empty())
      return 1;
  }
  if (!Select.empty()) {
    ztl::TComponent* Root = Window.Document().GetRoot();
    if (ztl::TComponent* Component = Root->FindComponent(Select))
      Window.Select(Component);
    else
      std::cerr << "ztl-designer: no component named " << Select << '\n';
  }
  Window.show();
  if (Screenshot.empty())
    return App.exec();

  App.processEvents();
  if (!Window.grab().save(QString::fromStdString(Screenshot))) {
    std::cerr << "ztl-designer: cannot write " << Screenshot << '\n';
    return 1;
  }
  return Status;
}
