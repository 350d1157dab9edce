# Shared by the Windows cross toolchains: CTest starts the programs under Wine, through
# scripts/wine-run.sh, which takes 32-bit programs to 32-bit Wine. The presets share one prefix
# among the Windows builds (build/wineprefix); otherwise each build folder has its own.
if(NOT DEFINED VESK_WINEPREFIX)
    set(VESK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh ${VESK_WINEPREFIX})
