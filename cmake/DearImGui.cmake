# Dear ImGui from the sources scripts/setup fetched into third_party/imgui,
# with its Win32 platform and Direct3D 11 renderer back-ends. Built without our
# warning flags: its warnings are not ours to fix.
set(VELMOR_IMGUI_DIR ${VELMOR_THIRD_PARTY_DIR}/imgui)
if(NOT EXISTS ${VELMOR_IMGUI_DIR}/imgui.h)
  message(FATAL_ERROR "Dear ImGui sources not found in ${VELMOR_IMGUI_DIR}; run scripts/setup")
endif()

add_library(velmor_imgui STATIC
  ${VELMOR_IMGUI_DIR}/imgui.cpp
  ${VELMOR_IMGUI_DIR}/imgui_draw.cpp
  ${VELMOR_IMGUI_DIR}/imgui_tables.cpp
  ${VELMOR_IMGUI_DIR}/imgui_widgets.cpp
  ${VELMOR_IMGUI_DIR}/imgui_demo.cpp
  ${VELMOR_IMGUI_DIR}/backends/imgui_impl_win32.cpp
  ${VELMOR_IMGUI_DIR}/backends/imgui_impl_dx11.cpp
  ${PROJECT_SOURCE_DIR}/src/ui/imgui_item_hooks.cpp)
target_include_directories(velmor_imgui SYSTEM PUBLIC ${VELMOR_IMGUI_DIR} ${VELMOR_IMGUI_DIR}/backends)
target_include_directories(velmor_imgui PRIVATE ${PROJECT_SOURCE_DIR}/src)
# The item hooks (src/ui/imgui_item_hooks.h) let tests find widgets by their
# labels; they cost one flag test per item while no observer is attached.
# 32-bit characters: typed and drawn text beyond the Basic Multilingual Plane
# (emoji in names and chat lines) would otherwise become U+FFFD.
target_compile_definitions(velmor_imgui PUBLIC IMGUI_DISABLE_OBSOLETE_FUNCTIONS IMGUI_ENABLE_TEST_ENGINE
  IMGUI_USE_WCHAR32 UNICODE _UNICODE)
# No gamepad navigation: the Win32 back-end would otherwise load an XInput
# library and free it at shutdown, and Wine's XInput keeps a thread running in
# the freed library (the process then faults on its way out).
target_compile_definitions(velmor_imgui PRIVATE IMGUI_IMPL_WIN32_DISABLE_GAMEPAD)
# D3DCompile comes from velmor_shader_compiler (src/app), which loads the
# compiler library at run time: no import of a d3dcompiler_NN.dll.
target_link_libraries(velmor_imgui PUBLIC d3d11 dxgi velmor_shader_compiler dwmapi gdi32 imm32 user32)
