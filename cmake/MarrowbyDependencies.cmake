# Every outside library the system builds on, found once for all subsystems.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets DBus Concurrent)
find_package(spdlog REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(FUSE3 IMPORTED_TARGET fuse3)

if(BUILD_TESTING)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()

find_package(benchmark QUIET)
