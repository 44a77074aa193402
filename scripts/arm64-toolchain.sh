#!/usr/bin/env bash
# arm64-toolchain.sh [<folder>]
# Makes, once, the C and C++ runtime that Debian's clang lacks for aarch64-w64-mingw32, so that
# the ARM64 build has the same shape as the other two (the same CMake flow, the tools and every
# GoogleTest suite): the MinGW-w64 headers and C runtime, compiler-rt's builtins, libunwind,
# libc++abi and libc++, all static, built from Debian's own source packages (apt-get source,
# through a private source list, so the machine's apt configuration is left alone). Each step
# leaves a stamp; a finished folder is reused as it is. Default folder: build/arm64-toolchain.
# The compiler wrappers it writes (bin/aarch64-w64-mingw32-clang, -clang++) are what
# cmake/clang-aarch64.cmake uses.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(realpath -m "${1:-build/arm64-toolchain}")
triple=aarch64-w64-mingw32
sysroot=$top/sysroot
prefix=$sysroot/$triple
resource=$top/clang-resource      # clang's own headers, plus the builtins built here
jobs=$(nproc)

mkdir -p "$top/bin" "$resource/lib/windows"

# Compiler wrappers, written on every run so that a finished folder follows this script: the
# target, the sysroot, lld, and compiler-rt/libunwind/libc++ in place of the GNU runtime.
for tool in clang clang++; do
  cat > "$top/bin/$triple-$tool" <<EOF
#!/bin/sh
exec /usr/lib/llvm-16/bin/$tool --target=$triple --sysroot=$sysroot -resource-dir=$resource \\
  -fuse-ld=lld -rtlib=compiler-rt -unwindlib=libunwind -stdlib=libc++ -Qunused-arguments "\$@"
EOF
done
# llvm-windres hands its preprocessor the input before the arguments it is given, so the
# language must be named here, ahead of it.
cat > "$top/bin/$triple-rc-preprocessor" <<EOF
#!/bin/sh
exec $top/bin/$triple-clang -E -xc -DRC_INVOKED "\$@"
EOF
chmod +x "$top/bin/"*
ln -sfn /usr/lib/llvm-16/lib/clang/16/include "$resource/include"

# Import libraries that the C runtime's ARM64 lists lack, from the project's own lists of what
# it imports (cmake/arm64-imports), once the runtime is there.
add_imports() {
  local list
  for list in cmake/arm64-imports/*.def; do
    /usr/lib/llvm-16/bin/llvm-dlltool -m arm64 -d "$list" -l "$prefix/lib/lib$(basename "$list" .def).a"
  done
}
[[ -e $top/done ]] && { add_imports; echo "arm64-toolchain: ready in $top"; exit 0; }
mkdir -p "$top/src" "$top/work" "$prefix"
started=$SECONDS
cc=$top/bin/$triple-clang
cxx=$top/bin/$triple-clang++
llvm=/usr/lib/llvm-16/bin

build_sources() {
  lists=$top/apt
  rm -rf "$top/src"; mkdir -p "$top/src"
  mkdir -p "$lists/parts" "$lists/lists/partial" "$lists/cache/archives/partial"
  cat > "$lists/parts/debian-src.sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt_options=(-q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$lists/parts"
               -o "Dir::State::Lists=$lists/lists" -o "Dir::Cache=$lists/cache")
  apt-get "${apt_options[@]}" update
  (cd "$top/src" && apt-get "${apt_options[@]}" source --download-only mingw-w64 llvm-toolchain-16)
  (cd "$top/src" && tar xf mingw-w64_*.orig.tar.bz2 && mv mingw-w64-v*/ mingw-w64)
  # Only the runtimes and the CMake files they build with, not the whole compiler.
  (cd "$top/src" && tar xf llvm-toolchain-16_*.orig.tar.xz --wildcards --no-wildcards-match-slash \
     '*/compiler-rt' '*/libunwind' '*/libcxx' '*/libcxxabi' '*/runtimes' '*/cmake' \
     '*/llvm/cmake' '*/llvm/utils/llvm-lit' '*/llvm/utils/lit' &&
   mv llvm-toolchain-16_*/ llvm && rm -f ./*.orig.tar.*)
}

build_headers() {
  mkdir -p "$top/work/headers"
  (cd "$top/work/headers" &&
   "$top/src/mingw-w64/mingw-w64-headers/configure" --host=$triple --prefix="$prefix" \
     --with-default-msvcrt=msvcrt && make install)
}

build_crt() {
  mkdir -p "$top/work/crt"
  (cd "$top/work/crt" &&
   "$top/src/mingw-w64/mingw-w64-crt/configure" --host=$triple --prefix="$prefix" \
     --disable-lib32 --disable-lib64 --disable-libarm32 --enable-libarm64 \
     --with-default-msvcrt=msvcrt CC="$cc" CXX="$cxx" AR=$llvm/llvm-ar RANLIB=$llvm/llvm-ranlib \
     DLLTOOL=$llvm/llvm-dlltool &&
   make -j"$jobs" && make install)
}

build_builtins() {
  cmake -S "$top/src/llvm/compiler-rt/lib/builtins" -B "$top/work/builtins" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_ASM_COMPILER="$cc" \
    -DCMAKE_C_COMPILER_TARGET=$triple -DCMAKE_ASM_COMPILER_TARGET=$triple \
    -DCMAKE_AR=$llvm/llvm-ar -DCMAKE_RANLIB=$llvm/llvm-ranlib \
    -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_ASM_COMPILER_WORKS=ON \
    -DCOMPILER_RT_DEFAULT_TARGET_ONLY=ON -DCOMPILER_RT_USE_BUILTINS_LIBRARY=ON \
    -DLLVM_CONFIG_PATH= -DCOMPILER_RT_OS_DIR=windows
  cmake --build "$top/work/builtins" -j"$jobs"
  cp "$(find "$top/work/builtins" -name 'libclang_rt.builtins-aarch64.a')" "$resource/lib/windows/"
}

build_libcxx() {
  cmake -S "$top/src/llvm/runtimes" -B "$top/work/libcxx" -G Ninja \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_CXX_COMPILER_WORKS=ON \
    -DCMAKE_AR=$llvm/llvm-ar -DCMAKE_RANLIB=$llvm/llvm-ranlib \
    -DLLVM_ENABLE_RUNTIMES="libunwind;libcxxabi;libcxx" -DLLVM_INCLUDE_TESTS=OFF \
    -DLIBUNWIND_USE_COMPILER_RT=ON -DLIBUNWIND_ENABLE_SHARED=OFF \
    -DLIBCXXABI_USE_COMPILER_RT=ON -DLIBCXXABI_USE_LLVM_UNWINDER=ON \
    -DLIBCXXABI_ENABLE_SHARED=OFF -DLIBCXXABI_LIBDIR_SUFFIX= \
    -DLIBCXX_USE_COMPILER_RT=ON -DLIBCXX_ENABLE_SHARED=OFF -DLIBCXX_CXX_ABI=libcxxabi \
    -DLIBCXX_ENABLE_STATIC_ABI_LIBRARY=ON -DLIBCXX_LIBDIR_SUFFIX= -DLIBCXX_INCLUDE_BENCHMARKS=OFF \
    -DLIBCXX_ENABLE_ABI_LINKER_SCRIPT=OFF -DLIBCXX_INCLUDE_TESTS=OFF
  cmake --build "$top/work/libcxx" -j"$jobs"
  cmake --install "$top/work/libcxx"
}

# Each step logs to logs/<step>.log and leaves a stamp; a failed step shows the end of its log
# and is taken again on the next run.
mkdir -p "$top/logs"
for step in sources headers crt builtins libcxx; do
  [[ -e $top/work/$step.done ]] && continue
  set +e
  ( set -e; "build_$step" ) >"$top/logs/$step.log" 2>&1
  failed=$?
  set -e
  if ((failed)); then
    echo "arm64-toolchain: $step failed; the end of $top/logs/$step.log:" >&2
    tail -n 30 "$top/logs/$step.log" >&2
    exit 1
  fi
  touch "$top/work/$step.done"
  echo "arm64-toolchain: $step done ($((SECONDS - started)) s)"
done

add_imports
rm -rf "$top/work" "$top/apt" "$top/src"
touch "$top/done"
echo "arm64-toolchain: ready in $top ($((SECONDS - started)) s)"
