# Rebuilds that give the same bytes: the same commit built in two folders makes the same DLLs,
# tool and import libraries. KestBuildFlags links this target, so every binary of ours gets it.
#
# - No build paths in the objects: __FILE__ and the debug information name the source tree
#   "." and the build tree "build" (the later map wins where the build tree lies inside).
# - No link time: the linker writes 0 as the PE time stamp of the build tree's binaries. The
#   shipped copies carry the commit's time instead, written when they are stripped at install
#   (KestFinishInstall.cmake, with the time from KestSourceDate.cmake).
add_library(KestReproducible INTERFACE)
target_compile_options(KestReproducible INTERFACE
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
  -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
target_link_options(KestReproducible INTERFACE -Wl,--no-insert-timestamp)
