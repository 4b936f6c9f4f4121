# Install rules: the public headers, the libraries with an exported CMake
# package and one pkg-config file each, the programs, the design packages and
# the documentation, in the GNU places; and the Debian package cpack makes of
# them. Included by the top-level CMakeLists.txt once every folder has made
# its targets.
include(CMakePackageConfigHelpers)

set(ZTL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zantrelix)
set(ZTL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zantrelix)
set(ZTL_EXPORT_MAP ${CMAKE_CURRENT_LIST_DIR}/ztl-exports.map)
set(ZTL_INSTALLED_LIBRARIES)

# ztl_install_library(<target> <export name> <pkg-config name> <export set> <summary>)
# Installs one library as Zantrelix::<export name> in <export set>, with the
# public headers of its folder (every .h not ending in _p.h) under the same
# repository-root path, so "core/ZtlBase.h" reads the same installed as in
# the tree. A shared library gets the project version as its SONAME and
# exports only what the version script lets through.
function(ztl_install_library target name pc set summary)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name} ZTL_PKG_CONFIG ${pc}
                        ZTL_PKG_SUMMARY "${summary}")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL INTERFACE_LIBRARY)
    set(scope INTERFACE)
  else()
    set(scope PUBLIC)
  endif()
  # The installed headers need C++20 in the user's build as much as in ours.
  target_compile_features(${target} ${scope} cxx_std_20)
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${ZTL_INSTALL_INCLUDEDIR}>)
  if(type STREQUAL SHARED_LIBRARY)
    # The C++ interface changes between minor versions, so the minor version
    # is part of the SONAME: a program built against 1.91 never loads 1.92.
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION}
                          SOVERSION ${PROJECT_VERSION} INSTALL_RPATH "$ORIGIN")
    # --no-undefined: a shared library that forgets a dependency fails here,
    # not in the first program that loads it.
    target_link_options(${target} PRIVATE "LINKER:--version-script=${ZTL_EXPORT_MAP}"
                        "LINKER:--no-undefined")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ZTL_EXPORT_MAP})
  endif()
  if(NOT type STREQUAL INTERFACE_LIBRARY)
    get_target_property(dir ${target} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
    list(FILTER headers EXCLUDE REGEX "_p\\.h$")
    install(FILES ${headers} DESTINATION ${ZTL_INSTALL_INCLUDEDIR}/${folder})
  endif()
  install(TARGETS ${target} EXPORT ${set}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set(ZTL_INSTALLED_LIBRARIES ${ZTL_INSTALLED_LIBRARIES} ${target} PARENT_SCOPE)
endfunction()

# ztl_pkg_config_name(<dependency> <out requires> <out libs>)
# What one link dependency becomes in a pkg-config file: another of our
# files, a Qt module's file, or a plain -l option.
function(ztl_pkg_config_name dep out_requires out_libs)
  set(requires)
  set(libs)
  if(TARGET ${dep})
    get_target_property(pc ${dep} ZTL_PKG_CONFIG)
    if(pc)
      set(requires ${pc})
    elseif(dep MATCHES "^Qt6::(.*)$")
      set(requires Qt6${CMAKE_MATCH_1})
    else()
      message(FATAL_ERROR "ztl_pkg_config_name: ${dep} is linked but not installed")
    endif()
  elseif(dep)
    set(libs -l${dep})
  endif()
  set(${out_requires} ${requires} PARENT_SCOPE)
  set(${out_libs} ${libs} PARENT_SCOPE)
endfunction()

# ztl_write_pkg_config(<target>)
# The pkg-config file of an installed library. Its prefix is found from the
# file's own place, so the file stays right under `cmake --install --prefix`.
function(ztl_write_pkg_config target)
  get_target_property(pc ${target} ZTL_PKG_CONFIG)
  get_target_property(summary ${target} ZTL_PKG_SUMMARY)
  get_target_property(type ${target} TYPE)
  get_target_property(deps ${target} INTERFACE_LINK_LIBRARIES)
  set(requires)
  set(requires_private)
  set(libs_private)
  foreach(dep IN LISTS deps)
    set(private FALSE)
    if(dep MATCHES "^\\$<LINK_ONLY:(.*)>$")
      set(dep ${CMAKE_MATCH_1})
      set(private TRUE)
    endif()
    ztl_pkg_config_name(${dep} req lib)
    if(private)
      list(APPEND requires_private ${req})
    else()
      list(APPEND requires ${req})
    endif()
    list(APPEND libs_private ${lib})
  endforeach()
  if(NOT type STREQUAL INTERFACE_LIBRARY)
    # A shared library names its own dependencies; a static one leaves its
    # private ones to the program, which pkg-config --static lists.
    get_target_property(own ${target} LINK_LIBRARIES)
    foreach(dep IN LISTS own)
      ztl_pkg_config_name(${dep} req lib)
      if(NOT req IN_LIST requires)
        list(APPEND requires_private ${req})
      endif()
      list(APPEND libs_private ${lib})
    endforeach()
  endif()
  foreach(list requires requires_private libs_private)
    list(REMOVE_DUPLICATES ${list})
    list(JOIN ${list} " " ${list})
  endforeach()
  if(IS_ABSOLUTE ${CMAKE_INSTALL_LIBDIR})
    set(prefix ${CMAKE_INSTALL_PREFIX})
  else()
    file(RELATIVE_PATH up ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig
         ${CMAKE_INSTALL_PREFIX})
    string(REGEX REPLACE "/$" "" up ${up})
    set(prefix "\${pcfiledir}/${up}")
  endif()
  set(text "prefix=${prefix}\nlibdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}\n")
  string(APPEND text "includedir=\${prefix}/${ZTL_INSTALL_INCLUDEDIR}\n\n")
  string(APPEND text "Name: ${pc}\nDescription: ${summary}\nVersion: ${PROJECT_VERSION}\n")
  string(APPEND text "Requires: ${requires}\nRequires.private: ${requires_private}\n")
  if(type STREQUAL INTERFACE_LIBRARY)
    string(APPEND text "Cflags: -I\${includedir}\n")
  else()
    get_target_property(output ${target} OUTPUT_NAME)
    if(NOT output)
      set(output ${target})
    endif()
    string(APPEND text "Cflags: -std=c++20 -I\${includedir}\n")
    string(APPEND text "Libs: -L\${libdir} -l${output}\nLibs.private: ${libs_private}\n")
  endif()
  file(WRITE ${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc "${text}")
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()

# The libraries an application links, without Qt.
foreach(layer rtl text variant classes graphics forms db)
  string(SUBSTRING ${layer} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${layer} 1 -1 rest)
  ztl_install_library(ztl_framework_${layer} Framework${first}${rest}
    zantrelix-framework-${layer} ZantrelixTargets "Zantrelix framework layer ${layer}")
endforeach()
ztl_install_library(ztl_framework Framework zantrelix-framework ZantrelixTargets
  "Zantrelix component framework, every layer without Qt")
ztl_install_library(ztl_sqltext SqlText zantrelix-sqltext ZantrelixTargets
  "Zantrelix SQL text analysis")
ztl_install_library(ztl_core Core zantrelix-core ZantrelixTargets
  "Zantrelix driver contract, session and SQL cursor")
ztl_install_library(ztl_dataset Dataset zantrelix-dataset ZantrelixTargets
  "Zantrelix parameters, dataset, query and stored procedure")
ztl_install_library(ztl_catalog Catalog zantrelix-catalog ZantrelixTargets
  "Zantrelix database, table, procedure and column lists")
ztl_install_library(ztl_driver_common DriverCommon zantrelix-driver-common ZantrelixTargets
  "Zantrelix base of the bundled drivers")
ztl_install_library(ztl_sqlite SQLite zantrelix-sqlite ZantrelixTargets
  "Zantrelix SQLite driver")
ztl_install_library(ztl_postgres PostgreSQL zantrelix-postgresql ZantrelixTargets
  "Zantrelix PostgreSQL driver")

# The Qt parts live in their own export set, so that finding the package
# asks for Qt only when one of them is wanted.
set(ZTL_QT_COMPONENTS)
if(TARGET ztl_qtdata)
  ztl_install_library(ztl_qtdata QtData zantrelix-qtdata ZantrelixQtTargets
    "Zantrelix Qt item model over a dataset")
  list(APPEND ZTL_QT_COMPONENTS QtData)
endif()
if(TARGET ztl_framework_widgets)
  ztl_install_library(ztl_framework_widgets FrameworkWidgets zantrelix-framework-widgets
    ZantrelixQtTargets "Zantrelix framework layer widgets")
  ztl_install_library(ztl_framework_designintf FrameworkDesignIntf
    zantrelix-framework-designintf ZantrelixQtTargets "Zantrelix framework layer designintf")
  list(APPEND ZTL_QT_COMPONENTS FrameworkWidgets FrameworkDesignIntf)
endif()
foreach(target IN LISTS ZTL_INSTALLED_LIBRARIES)
  ztl_write_pkg_config(${target})
endforeach()

install(EXPORT ZantrelixTargets NAMESPACE Zantrelix:: DESTINATION ${ZTL_INSTALL_CMAKEDIR})
if(ZTL_QT_COMPONENTS)
  install(EXPORT ZantrelixQtTargets NAMESPACE Zantrelix:: DESTINATION ${ZTL_INSTALL_CMAKEDIR})
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZantrelixConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZantrelixConfig.cmake INSTALL_DESTINATION ${ZTL_INSTALL_CMAKEDIR})
# Same minor version only, as the SONAME says.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZantrelixConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZantrelixConfig.cmake
              ${PROJECT_BINARY_DIR}/ZantrelixConfigVersion.cmake
        DESTINATION ${ZTL_INSTALL_CMAKEDIR})

# The programs, and the design packages where the designer looks for them.
foreach(program ztl ztl-designer)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
foreach(module ztl_package_module ztl_sqlite_design_module ztl_pg_design_module)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION ${ZTL_INSTALL_PACKAGEDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zantrelix)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zantrelix/docs)

# `cpack` makes one Debian package of the whole install. The client libraries
# are loaded at run time, so they are recommended rather than required.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zantrelix)
set(CPACK_PACKAGE_VENDOR "Zantrelix developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "C++ database-access components with SQLite and PostgreSQL drivers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zantrelix developers")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
if(TARGET ztl-designer)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6, libqt6gui6, libqt6widgets6")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqlite3-0, libpq5")
include(CPack)
