# What every executable and DLL of ours links besides its own code (KestBuildFlags links this
# target): the runtime units of internal/runtime/ and, with KEST_HARDENING (the default), the
# mitigations that a Windows security review checks (docs/hardening.md):
# - stack cookies: -fstack-protector-strong guards every function with a stack array by
#   __stack_chk_guard, which the load configuration names as the cookie the loader makes random;
#   a failed check fails fast (KestLoadConfig.cpp). GNU ld 2.40 writes no load configuration, so
#   the trap build checks a fixed cookie;
# - Control Flow Guard (clang and lld only: GCC cannot instrument the calls nor GNU ld write the
#   tables): indirect calls through __guard_dispatch_icall_fptr, lld's function table;
# - CET shadow-stack compatible (lld only);
# DependentLoadFlags stay 0: each binary imports a DLL of the installation (docs/hardening.md).
# KEST_HARDENING=OFF builds without them, for the benchmark's comparison (bench/harden-cost.sh).
option(KEST_HARDENING "Stack cookies, Control Flow Guard, CET compatibility and a load configuration" ON)

add_library(KestRuntime INTERFACE)
# Only into what is linked: a static or object library's consumers get their own.
set(kest_linked $<OR:$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>,$<STREQUAL:$<TARGET_PROPERTY:TYPE>,SHARED_LIBRARY>>)
set(kest_runtime_dir ${PROJECT_SOURCE_DIR}/internal/runtime)
target_sources(KestRuntime INTERFACE $<${kest_linked}:${kest_runtime_dir}/KestThreadLocal.cpp>)
if(KEST_HARDENING)
  target_sources(KestRuntime INTERFACE $<${kest_linked}:${kest_runtime_dir}/KestLoadConfig.cpp>)
  target_compile_options(KestRuntime INTERFACE -fstack-protector-strong)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(KestRuntime INTERFACE "SHELL:-Xclang -cfguard")
    target_link_options(KestRuntime INTERFACE "LINKER:-Xlink=-guard:cf" "LINKER:-Xlink=-cetcompat")
  endif()
endif()
